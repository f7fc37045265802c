// JPEG files as textures: most are embedded as they are; one of four
// components (CMYK, which glTF's readers do not take) is decoded.
#pragma once

#include <cstddef>
#include <string>

#include "image/image.h"

// The components of the JPEG by its header; false with what is wrong where
// the header cannot be read.
bool jpeg_components(const unsigned char* bytes, std::size_t size, int* components,
                     std::string* what);

// Decodes a JPEG of four components, stored inverted as CMYK files are, to
// RGB; false with the fault and what is wrong.
bool decode_cmyk_jpeg(const unsigned char* bytes, std::size_t size, Image* image, ImageFault* fault,
                      std::string* what);
