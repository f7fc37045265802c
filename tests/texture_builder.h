// Writes textures in code, in every form a model's texture comes in (BLP1
// with a palette or JPEG data, TGA).
#pragma once

#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model_builder.h"

// RGBA pixels, top row first.
struct Pixels {
  std::uint32_t width = 0, height = 0;
  std::vector<unsigned char> rgba;
};

// A picture with few colours (a palette holds them) and alpha that varies in
// every bit: red and blue bands, green by column, alpha by pixel.
inline Pixels test_picture(std::uint32_t width, std::uint32_t height) {
  Pixels p{width, height, {}};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      p.rgba.push_back(static_cast<unsigned char>(y < height / 2 ? 200 : 20));
      p.rgba.push_back(static_cast<unsigned char>(x % 4 * 60));
      p.rgba.push_back(static_cast<unsigned char>(y < height / 2 ? 30 : 220));
      p.rgba.push_back(static_cast<unsigned char>((x * 37 + y * 11) % 256));
    }
  }
  return p;
}

inline void blp_header(ByteWriter& w, std::uint32_t compression, std::uint32_t alpha_bits,
                       const Pixels& p) {
  w.tag("BLP1", {compression, alpha_bits, p.width, p.height, 4, 0});
}

// The palette kind: the picture's colours as the palette, then indices and
// alpha bits as the format packs them.
inline std::string blp_palette(const Pixels& p, std::uint32_t alpha_bits) {
  std::vector<std::uint32_t> colours;
  std::vector<unsigned char> index, alpha;
  const std::size_t pixels = std::size_t(p.width) * p.height;
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned char* px = &p.rgba[4 * i];
    const std::uint32_t bgr = px[2] | px[1] << 8 | px[0] << 16;
    std::size_t k = 0;
    while (k < colours.size() && colours[k] != bgr) ++k;
    if (k == colours.size()) colours.push_back(bgr);
    index.push_back(static_cast<unsigned char>(k));
  }
  const std::size_t per_byte = alpha_bits == 0 ? 0 : 8 / alpha_bits;
  if (per_byte) alpha.assign((pixels + per_byte - 1) / per_byte, 0);
  for (std::size_t i = 0; per_byte && i < pixels; ++i) {
    const unsigned a = p.rgba[4 * i + 3] >> (8 - alpha_bits);
    alpha[i / per_byte] |= static_cast<unsigned char>(a << (alpha_bits * (i % per_byte)));
  }
  ByteWriter w;
  blp_header(w, 1, alpha_bits, p);
  const std::uint32_t offset = 156 + 1024;
  w.u32(offset);
  w.zeros(15 * 4);
  w.u32(static_cast<std::uint32_t>(index.size() + alpha.size()));
  w.zeros(15 * 4);
  for (std::size_t k = 0; k < 256; ++k) w.u32(k < colours.size() ? colours[k] : 0);
  w.bytes.append(index.begin(), index.end());
  w.bytes.append(alpha.begin(), alpha.end());
  return w.bytes;
}

// The pixels as a JPEG of `components` in `space` (CMYK: stored as they are,
// at quality 100; else libjpeg's defaults), each row's components made from
// the RGBA row by `fill`.
template <class Fill>
std::string jpeg_of(const Pixels& p, int components, J_COLOR_SPACE space, Fill fill) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &data, &size);
  cinfo.image_width = p.width;
  cinfo.image_height = p.height;
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  if (space == JCS_CMYK) {
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    jpeg_set_quality(&cinfo, 100, TRUE);
  }
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(std::size_t(p.width) * components);
  while (cinfo.next_scanline < p.height) {
    fill(&p.rgba[std::size_t(cinfo.next_scanline) * p.width * 4], row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string jpeg(reinterpret_cast<char*>(data), size);
  std::free(data);
  return jpeg;
}

// The JPEG kind: four components B, G, R, A, no colour transform, the first
// `shared` bytes of the JPEG data as the header that mipmaps share.
inline std::string blp_jpeg(const Pixels& p, std::uint32_t alpha_bits, std::size_t shared = 300) {
  const std::string jpeg =
      jpeg_of(p, 4, JCS_CMYK, [&](const unsigned char* px, unsigned char* row) {
        for (std::uint32_t x = 0; x < p.width; ++x) {
          row[4 * x] = px[4 * x + 2], row[4 * x + 1] = px[4 * x + 1];
          row[4 * x + 2] = px[4 * x], row[4 * x + 3] = px[4 * x + 3];
        }
      });
  ByteWriter w;
  blp_header(w, 0, alpha_bits, p);
  const std::uint32_t offset = static_cast<std::uint32_t>(156 + 4 + shared);
  w.u32(offset);
  w.zeros(15 * 4);
  w.u32(static_cast<std::uint32_t>(jpeg.size() - shared));
  w.zeros(15 * 4);
  w.u32(static_cast<std::uint32_t>(shared));
  w.bytes += jpeg;
  return w.bytes;
}

// A JPEG file of three components (YCbCr), as photographs are stored.
inline std::string rgb_jpeg(const Pixels& p) {
  return jpeg_of(p, 3, JCS_RGB, [&](const unsigned char* px, unsigned char* row) {
    for (std::uint32_t x = 0; x < p.width * 3; ++x) row[x] = px[x / 3 * 4 + x % 3];
  });
}

// A TGA of 24 or 32 bits, stored plainly or run-length coded, its first row
// at the top or the bottom.
inline std::string tga(const Pixels& p, int bits, bool rle, bool top_first) {
  ByteWriter w;
  w.bytes += std::string{0, 0, static_cast<char>(rle ? 10 : 2)};
  w.zeros(5);
  w.u16(0), w.u16(0), w.u16(static_cast<std::uint16_t>(p.width)),
      w.u16(static_cast<std::uint16_t>(p.height));
  w.bytes += static_cast<char>(bits);
  w.bytes += static_cast<char>((bits == 32 ? 8 : 0) | (top_first ? 0x20 : 0));
  for (std::uint32_t r = 0; r < p.height; ++r) {
    const std::uint32_t y = top_first ? r : p.height - 1 - r;
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const unsigned char* px = &p.rgba[(std::size_t(y) * p.width + x) * 4];
      if (rle) w.bytes += '\0';  // a raw packet of one pixel
      w.bytes += {static_cast<char>(px[2]), static_cast<char>(px[1]), static_cast<char>(px[0])};
      if (bits == 32) w.bytes += static_cast<char>(px[3]);
    }
  }
  return w.bytes;
}
