#include "image/blp_image.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/little_endian.h"
#include "image/jpeg_errors.h"

namespace {

constexpr std::size_t kHeader = 156;  // magic, six numbers, 16 offsets, 16 sizes
constexpr std::size_t kPalette = 256 * 4;

struct Blp {
  const unsigned char* bytes;
  std::size_t size;
  std::uint32_t compression, alpha_bits, width, height;
  std::uint32_t offset, length;  // the first mipmap
};

bool damaged(ImageFault* fault, std::string* what, const std::string& why) {
  *fault = ImageFault::kDamaged;
  *what = why;
  return false;
}

// The first mipmap, where the file holds it whole.
bool first_mipmap(const Blp& blp, ImageFault* fault, std::string* what) {
  if (blp.offset > blp.size || blp.length > blp.size - blp.offset) {
    return damaged(fault, what, "mipmap 0 lies outside the file");
  }
  return true;
}

bool decode_palette(const Blp& blp, Image* image, ImageFault* fault, std::string* what) {
  const std::size_t pixels = std::size_t(blp.width) * blp.height;
  const std::size_t alpha_bytes = blp.alpha_bits == 8   ? pixels
                                  : blp.alpha_bits == 4 ? (pixels + 1) / 2
                                  : blp.alpha_bits == 1 ? (pixels + 7) / 8
                                                        : 0;
  if (blp.size < kHeader + kPalette) return damaged(fault, what, "the palette is cut short");
  if (!first_mipmap(blp, fault, what)) return false;
  if (blp.length < pixels + alpha_bytes) {
    return damaged(fault, what, "mipmap 0 is smaller than its pixels");
  }
  const unsigned char* palette = blp.bytes + kHeader;
  const unsigned char* index = blp.bytes + blp.offset;
  const unsigned char* alpha = index + pixels;
  size_image(image, blp.width, blp.height);
  unsigned char* out = image->rgba.data();
  for (std::size_t i = 0; i < pixels; ++i, out += 4) {
    const unsigned char* entry = palette + 4 * index[i];
    out[0] = entry[2];
    out[1] = entry[1];
    out[2] = entry[0];
    out[3] = blp.alpha_bits == 8 ? alpha[i]
             : blp.alpha_bits == 4
                 ? static_cast<unsigned char>(((alpha[i / 2] >> (4 * (i % 2))) & 0xF) * 17)
             : blp.alpha_bits == 1 ? ((alpha[i / 8] >> (i % 8)) & 1 ? 255 : 0)
                                   : 255;
  }
  return true;
}

// The JPEG's header, apart so that nothing with a destructor lives between
// setjmp and a jump back to it: its sides and components must be the BLP's.
bool read_jpeg_header(jpeg_decompress_struct* cinfo, JpegError* err,
                      const std::vector<unsigned char>& data, const Blp& blp) {
  if (setjmp(err->jump)) return false;
  jpeg_mem_src(cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(cinfo, TRUE);
  if (cinfo->num_components == 4 && cinfo->image_width == blp.width &&
      cinfo->image_height == blp.height) {
    return true;
  }
  std::snprintf(err->message, sizeof err->message, "the JPEG is %ux%u with %d components",
                cinfo->image_width, cinfo->image_height, cinfo->num_components);
  return false;
}

// Its rows into the image, which has room for them.
bool read_jpeg_rows(jpeg_decompress_struct* cinfo, JpegError* err, const Blp& blp, Image* image,
                    unsigned char* row) {
  if (setjmp(err->jump)) return false;
  // The four components as stored: B, G, R and A, no colour transform.
  cinfo->jpeg_color_space = JCS_CMYK;
  cinfo->out_color_space = JCS_CMYK;
  jpeg_start_decompress(cinfo);
  while (cinfo->output_scanline < cinfo->output_height) {
    unsigned char* out = image->rgba.data() + std::size_t(cinfo->output_scanline) * blp.width * 4;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(cinfo, rows, 1);
    for (std::uint32_t x = 0; x < blp.width; ++x, out += 4) {
      out[0] = row[4 * x + 2];
      out[1] = row[4 * x + 1];
      out[2] = row[4 * x];
      out[3] = blp.alpha_bits != 0 ? row[4 * x + 3] : 255;
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

bool decode_jpeg(const Blp& blp, Image* image, ImageFault* fault, std::string* what) {
  if (blp.size < kHeader + 4) return damaged(fault, what, "the JPEG header is cut short");
  const std::uint32_t shared = le_u32(blp.bytes + kHeader);
  if (shared > blp.size - kHeader - 4) return damaged(fault, what, "the JPEG header is cut short");
  if (!first_mipmap(blp, fault, what)) return false;
  std::vector<unsigned char> data(blp.bytes + kHeader + 4, blp.bytes + kHeader + 4 + shared);
  data.insert(data.end(), blp.bytes + blp.offset, blp.bytes + blp.offset + blp.length);
  jpeg_decompress_struct cinfo;
  JpegError err;
  use_jpeg_errors(&cinfo, &err);
  jpeg_create_decompress(&cinfo);
  // The image takes memory only once the JPEG's own header agrees with it.
  std::vector<unsigned char> row;
  bool ok = read_jpeg_header(&cinfo, &err, data, blp);
  if (ok) {
    size_image(image, blp.width, blp.height);
    row.resize(std::size_t(blp.width) * 4);
    ok = read_jpeg_rows(&cinfo, &err, blp, image, row.data());
  }
  jpeg_destroy_decompress(&cinfo);
  return ok || damaged(fault, what, std::string("JPEG: ") + err.message);
}

}  // namespace

bool decode_blp(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                std::string* what) {
  *fault = ImageFault::kNone;
  if (size < 4 || std::memcmp(bytes, "BLP1", 4) != 0) {
    *fault = ImageFault::kNotRead;
    return false;
  }
  if (size < kHeader) return damaged(fault, what, "the header is cut short");
  Blp blp{bytes,
          size,
          le_u32(bytes + 4),
          le_u32(bytes + 8),
          le_u32(bytes + 12),
          le_u32(bytes + 16),
          le_u32(bytes + 28),
          le_u32(bytes + 92)};
  if (blp.width == 0 || blp.height == 0) return damaged(fault, what, "a side of 0 pixels");
  if (blp.width > kMostImageSide || blp.height > kMostImageSide) {
    *fault = ImageFault::kTooLarge;
    *what = std::to_string(blp.width) + "x" + std::to_string(blp.height);
    return false;
  }
  if (blp.alpha_bits != 0 && blp.alpha_bits != 1 && blp.alpha_bits != 4 && blp.alpha_bits != 8) {
    return damaged(fault, what, std::to_string(blp.alpha_bits) + " alpha bits");
  }
  if (blp.compression == 0) return decode_jpeg(blp, image, fault, what);
  if (blp.compression == 1) return decode_palette(blp, image, fault, what);
  return damaged(fault, what, "compression " + std::to_string(blp.compression));
}
