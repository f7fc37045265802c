#include "image/png_write.h"

#include <png.h>

#include <csetjmp>

namespace {

struct PngTarget {
  std::streambuf* out;
  bool short_write = false;
  const char* message = "";
};

void put_bytes(png_structp png, png_bytep data, png_size_t n) {
  auto* target = static_cast<PngTarget*>(png_get_io_ptr(png));
  const std::streamsize want = static_cast<std::streamsize>(n);
  if (target->short_write ||
      target->out->sputn(reinterpret_cast<const char*>(data), want) != want) {
    target->short_write = true;
    png_error(png, "write failed");
  }
}

void flush_bytes(png_structp) {}

// libpng's errors come back here by a jump, never end the process.
void png_fails(png_structp png, png_const_charp message) {
  auto* target = static_cast<PngTarget*>(png_get_error_ptr(png));
  target->message = message;
  png_longjmp(png, 1);
}

void png_warns(png_structp, png_const_charp) {}

// Apart, so that nothing with a destructor lives between setjmp and a jump
// back to it.
bool run_png(png_structp png, png_infop info, const Image& image, int level) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_compression_level(png, level);
  png_set_IHDR(png, info, image.width, image.height, 8,
               image.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // An opaque image is stored without its alpha bytes.
  if (!image.alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  const std::size_t stride = std::size_t(image.width) * 4;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.rgba.data() + y * stride));
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool write_png(std::streambuf* out, const Image& image, std::string* err, int level) {
  PngTarget target{out};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &target, png_fails, png_warns);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    *err = "out of memory";
    return false;
  }
  png_set_write_fn(png, &target, put_bytes, flush_bytes);
  const bool ok = run_png(png, info, image, level);
  png_destroy_write_struct(&png, &info);
  if (!ok) *err = target.short_write ? "write failed" : target.message;
  return ok;
}
