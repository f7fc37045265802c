#include "image/jpeg_image.h"

#include <vector>

#include "image/jpeg_errors.h"

namespace {

// Apart, so that nothing with a destructor lives between setjmp and a jump
// back to it.
bool read_header(jpeg_decompress_struct* cinfo, JpegError* err, const unsigned char* bytes,
                 std::size_t size) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

bool read_rows(jpeg_decompress_struct* cinfo, JpegError* err, Image* image, unsigned char* row) {
  if (setjmp(err->jump)) return false;
  cinfo->out_color_space = JCS_CMYK;
  jpeg_start_decompress(cinfo);
  const std::uint32_t width = cinfo->output_width;
  while (cinfo->output_scanline < cinfo->output_height) {
    unsigned char* out = image->rgba.data() + std::size_t(cinfo->output_scanline) * width * 4;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(cinfo, rows, 1);
    for (std::uint32_t x = 0; x < width; ++x, out += 4) {
      const unsigned k = row[4 * x + 3];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<unsigned char>(row[4 * x + c] * k / 255);
      out[3] = 255;
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

bool jpeg_components(const unsigned char* bytes, std::size_t size, int* components,
                     std::string* what) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  use_jpeg_errors(&cinfo, &err);
  jpeg_create_decompress(&cinfo);
  const bool ok = read_header(&cinfo, &err, bytes, size);
  *components = ok ? cinfo.num_components : 0;
  if (!ok) *what = std::string("JPEG: ") + err.message;
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

bool decode_cmyk_jpeg(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                      std::string* what) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  use_jpeg_errors(&cinfo, &err);
  jpeg_create_decompress(&cinfo);
  bool ok = read_header(&cinfo, &err, bytes, size);
  std::vector<unsigned char> row;
  *fault = ImageFault::kDamaged;
  if (ok && (cinfo.image_width > kMostImageSide || cinfo.image_height > kMostImageSide)) {
    *fault = ImageFault::kTooLarge;
    *what = std::to_string(cinfo.image_width) + "x" + std::to_string(cinfo.image_height);
    ok = false;
  } else if (ok) {
    size_image(image, cinfo.image_width, cinfo.image_height);
    row.resize(std::size_t(cinfo.image_width) * 4);
    ok = read_rows(&cinfo, &err, image, row.data());
    if (!ok) *what = std::string("JPEG: ") + err.message;
  } else {
    *what = std::string("JPEG: ") + err.message;
  }
  jpeg_destroy_decompress(&cinfo);
  if (ok) *fault = ImageFault::kNone;
  return ok;
}
