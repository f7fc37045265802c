// A decoded texture: 8-bit RGBA rows, top row first.
#pragma once

#include <cstdint>
#include <vector>

// Larger images are refused: memory stays bounded by a few images of this size,
// whatever a file claims.
constexpr std::uint32_t kMostImageSide = 8192;

struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<unsigned char> rgba;
};

// Why an image is not read, as a texture's warning gives it.
enum class ImageFault {
  kNone,
  kDamaged,   // the bytes contradict themselves: "damaged (WHAT)"
  kNotRead,   // a format this program does not read
  kTooLarge,  // wider or taller than kMostImageSide
};

// Sizes the image; each reader has refused a side of 0 or above
// kMostImageSide before, with the fault that says which.
inline void size_image(Image* image, std::uint32_t width, std::uint32_t height) {
  image->width = width;
  image->height = height;
  image->rgba.assign(std::size_t(width) * height * 4, 0);
}
