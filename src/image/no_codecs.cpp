// The image readers and writer where their libraries are not built (the web
// page): every texture is one whose format is not read.
#include "image/blp_image.h"
#include "image/png_write.h"
#include "image/tga_image.h"

bool decode_blp(const unsigned char*, std::size_t, Image*, ImageFault* fault, std::string*) {
  *fault = ImageFault::kNotRead;
  return false;
}

bool decode_tga(const unsigned char*, std::size_t, Image*, ImageFault* fault, std::string*) {
  *fault = ImageFault::kNotRead;
  return false;
}

bool is_opaque(const Image&) { return true; }

bool write_png(std::streambuf*, const Image&, std::string* err) {
  *err = "images are not written here";
  return false;
}

bool write_png_with(std::streambuf*, const Image&, int, int, std::string* err) {
  *err = "images are not written here";
  return false;
}
