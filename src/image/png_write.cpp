#include "image/png_write.h"

#include <libdeflate.h>

#include <cstdlib>
#include <vector>

namespace {

// stb_image_write's zlib stream, made by libdeflate at the level it passes
// on; freed by stb_image_write with free().
unsigned char* deflate_rows(unsigned char* data, int length, int* out_length, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (compressor == nullptr) return nullptr;
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor, std::size_t(length));
  auto* out = static_cast<unsigned char*>(std::malloc(bound));
  const std::size_t n =
      out ? libdeflate_zlib_compress(compressor, data, std::size_t(length), out, bound) : 0;
  libdeflate_free_compressor(compressor);
  if (n == 0) {
    std::free(out);
    return nullptr;
  }
  *out_length = static_cast<int>(n);
  return out;
}

}  // namespace

#define STBIW_ZLIB_COMPRESS deflate_rows
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb/stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// stb_image_write takes its level and filter from two globals: set before
// main, so that the threads that write images only read them.
const bool kSettingsSet =
    (stbi_write_png_compression_level = kPngLevel, stbi_write_force_png_filter = kPngFilter, true);

bool write_rows(std::streambuf* out, const Image& image, std::string* err) {
  const bool opaque = is_opaque(image);
  const int channels = opaque ? 3 : 4;
  std::vector<unsigned char> rgb(opaque ? image.rgba.size() / 4 * 3 : 0);
  for (std::size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
    rgb[o] = image.rgba[i];
    rgb[o + 1] = image.rgba[i + 1];
    rgb[o + 2] = image.rgba[i + 2];
  }
  int length = 0;
  unsigned char* png =
      stbi_write_png_to_mem(opaque ? rgb.data() : image.rgba.data(), 0, int(image.width),
                            int(image.height), channels, &length);
  if (png == nullptr) {
    *err = "out of memory";
    return false;
  }
  const bool written = out->sputn(reinterpret_cast<const char*>(png), length) == length;
  std::free(png);
  if (!written) *err = "write failed";
  return written;
}

}  // namespace

bool is_opaque(const Image& image) {
  for (std::size_t i = 3; i < image.rgba.size(); i += 4) {
    if (image.rgba[i] != 255) return false;
  }
  return true;
}

bool write_png(std::streambuf* out, const Image& image, std::string* err) {
  (void)kSettingsSet;
  return write_rows(out, image, err);
}

bool write_png_with(std::streambuf* out, const Image& image, int level, int filter,
                    std::string* err) {
  stbi_write_png_compression_level = level;
  stbi_write_force_png_filter = filter;
  const bool ok = write_rows(out, image, err);
  stbi_write_png_compression_level = kPngLevel;
  stbi_write_force_png_filter = kPngFilter;
  return ok;
}
