// PNG files written by libpng: 8 bits a channel, RGB for an opaque image and
// RGBA otherwise.
#pragma once

#include <streambuf>
#include <string>

#include "image/image.h"

// The zlib level of every PNG (see bench/textures.sh for the measure that
// chose it).
constexpr int kPngLevel = 6;

// Writes the image to `out`; false with the reason where libpng or the
// stream failed.
bool write_png(std::streambuf* out, const Image& image, std::string* err);
