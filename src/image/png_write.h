// PNG files written by libpng: 8 bits a channel, RGB for an opaque image and
// RGBA otherwise.
#pragma once

#include <streambuf>
#include <string>

#include "image/image.h"

// The zlib level of every PNG. BM_WritePng (bench/bench_main.cpp) on a
// texture as games draw them: level 4 makes the PNG of levels 5 to 9 in two
// thirds of their time; levels 1 to 3 save a third more, for a PNG a seventh
// larger, which every reader of the tree then loads.
constexpr int kPngLevel = 4;

// Writes the image to `out` at zlib `level`; false with the reason where
// libpng or the stream failed.
bool write_png(std::streambuf* out, const Image& image, std::string* err, int level = kPngLevel);
