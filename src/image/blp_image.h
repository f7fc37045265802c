// BLP1 textures: a JPEG kind (four components B, G, R, A without a colour
// transform, a header shared by the mipmaps) and a palette kind (256 BGR
// entries, indices, then 8, 4, 1 or no bits of alpha a pixel). The first
// mipmap is the image.
#pragma once

#include <cstddef>
#include <string>

#include "image/image.h"

// Decodes the whole file's bytes; false with the fault and, for a damaged
// one, what is wrong ("mipmap 0 lies outside the file").
bool decode_blp(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                std::string* what);
