// PNG files of decoded textures: 8 bits a channel, RGB where every pixel is
// opaque and RGBA otherwise. stb_image_write frames and filters the rows;
// libdeflate compresses them, several times faster than zlib for the same
// size (bench/bench_main.cpp's BM_WritePng measures each choice).
#pragma once

#include <streambuf>
#include <string>

#include "image/image.h"

// libdeflate's level and the PNG filter of every row. BM_WritePng, on a
// texture as games draw them: Paeth at level 4 makes the PNG of libpng's
// adaptive filters at zlib level 4 (4% larger where opaque) in a third to a
// quarter of its time; level 1 is a sixth faster, but makes palette textures
// a tenth larger.
constexpr int kPngLevel = 4;
constexpr int kPngFilter = 4;  // Paeth

// True where every pixel's alpha is 255: such an image is stored as RGB.
bool is_opaque(const Image& image);

// Writes the image to `out`; false with the reason where memory or the
// stream failed.
bool write_png(std::streambuf* out, const Image& image, std::string* err);

// The same at another level and filter (-1: each row's filter chosen by
// stb_image_write's estimate), for the measurements: it changes both for
// every thread while it writes.
bool write_png_with(std::streambuf* out, const Image& image, int level, int filter,
                    std::string* err);
