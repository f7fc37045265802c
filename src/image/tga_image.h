// TGA textures (uncompressed and run-length, 24 and 32 bits, either origin),
// read by stb_image.
#pragma once

#include <cstddef>
#include <string>

#include "image/image.h"

bool decode_tga(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                std::string* what);
