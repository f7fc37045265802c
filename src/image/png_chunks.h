// A PNG file as glTF's readers take it: its pixels as they are, but only the
// chunks that say them (IHDR, PLTE, tRNS, IDAT, IEND). Gamma, colour profiles
// and animation chunks make the glTF validator warn.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The PNG with only those chunks; false with what is wrong where its chunks
// do not lie within the file or it has no IHDR first and IEND last.
bool keep_pixel_chunks(const unsigned char* bytes, std::size_t size,
                       std::vector<unsigned char>* out, std::string* what);
