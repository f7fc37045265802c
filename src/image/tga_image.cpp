#include "image/tga_image.h"

#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// The least the file must hold for the pixels its header claims: all of
// them when stored plainly, a packet per 128 of them when run-length coded;
// stb_image would read a short file as black.
bool holds_its_pixels(const unsigned char* b, std::size_t size, int width, int height) {
  if (size < 18) return false;
  const std::size_t type = b[2], depth = (b[16] + 7u) / 8u;
  const std::size_t palette = b[1] ? (b[5] | b[6] << 8) * ((b[7] + 7u) / 8u) : 0;
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  const std::size_t need = type >= 9 ? (pixels + 127) / 128 * (1 + depth) : pixels * depth;
  return size >= 18 + b[0] + palette + need;
}

}  // namespace

bool decode_tga(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                std::string* what) {
  *fault = ImageFault::kNone;
  const int length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
    *fault = ImageFault::kDamaged;
    *what = stbi_failure_reason();
    return false;
  }
  if (width > int(kMostImageSide) || height > int(kMostImageSide)) {
    *fault = ImageFault::kTooLarge;
    *what = std::to_string(width) + "x" + std::to_string(height);
    return false;
  }
  if (!holds_its_pixels(bytes, size, width, height)) {
    *fault = ImageFault::kDamaged;
    *what = "the file is smaller than its pixels";
    return false;
  }
  stbi_uc* pixels = stbi_load_from_memory(bytes, length, &width, &height, &channels, 4);
  if (pixels == nullptr) {
    *fault = ImageFault::kDamaged;
    *what = stbi_failure_reason();
    return false;
  }
  size_image(image, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
  std::memcpy(image->rgba.data(), pixels, image->rgba.size());
  stbi_image_free(pixels);
  return true;
}
