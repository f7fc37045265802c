// Reads back the PNG images that the converter makes, with a reader of its
// own (stb_image), so that a test compares pixels.
#pragma once

#include <string>

#include "texture_builder.h"

// A PNG file read back as RGBA; empty where it is no PNG. `alpha`: whether
// it stores alpha.
Pixels read_png(const std::string& file, bool* alpha = nullptr);
