// Runs the texture readers on arbitrary bytes: the first byte picks BLP or
// TGA, the rest is the file. A texture that lies about its sizes, offsets or
// lengths must be a fault the reader names, never a crash, a hang or memory
// beyond a few images of the largest size; what it reads must make a PNG.
#include <cstdint>
#include <sstream>
#include <string>

#include "image/blp_image.h"
#include "image/png_write.h"
#include "image/tga_image.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Image image;
  ImageFault fault = ImageFault::kNone;
  std::string what;
  const bool read = data[0] % 2 == 0 ? decode_blp(data + 1, size - 1, &image, &fault, &what)
                                     : decode_tga(data + 1, size - 1, &image, &fault, &what);
  if (!read) {
    require(fault != ImageFault::kNone && (fault != ImageFault::kDamaged || !what.empty()),
            "a texture not read without a reason");
    return 0;
  }
  require(image.width != 0 && image.width <= kMostImageSide && image.height <= kMostImageSide &&
              image.rgba.size() == std::size_t(image.width) * image.height * 4,
          "an image of " + std::to_string(image.width) + "x" + std::to_string(image.height));
  std::stringbuf png;
  std::string err;
  require(write_png(&png, image, &err), "no PNG: " + err);
  return 0;
}
