// Runs the texture readers on arbitrary bytes: the first byte picks BLP or
// TGA, the rest is the file. A texture that lies about its sizes, offsets or
// lengths must be a fault the reader names, never a crash, a hang or memory
// beyond a few images of the largest size; what it reads must make a PNG.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "image/blp_image.h"
#include "image/png_write.h"
#include "image/tga_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Image image;
  ImageFault fault = ImageFault::kNone;
  std::string what;
  const bool read = data[0] % 2 == 0 ? decode_blp(data + 1, size - 1, &image, &fault, &what)
                                     : decode_tga(data + 1, size - 1, &image, &fault, &what);
  if (!read) {
    if (fault == ImageFault::kNone || (fault == ImageFault::kDamaged && what.empty())) {
      std::fprintf(stderr, "a texture not read without a reason\n");
      std::abort();
    }
    return 0;
  }
  if (image.width == 0 || image.width > kMostImageSide || image.height > kMostImageSide ||
      image.rgba.size() != std::size_t(image.width) * image.height * 4) {
    std::fprintf(stderr, "an image of %ux%u\n", image.width, image.height);
    std::abort();
  }
  std::stringbuf png;
  std::string err;
  if (!write_png(&png, image, &err)) {
    std::fprintf(stderr, "no PNG: %s\n", err.c_str());
    std::abort();
  }
  return 0;
}
