// Numbers as the model, texture and glTF formats store them: little-endian,
// whatever the machine's own order.
#pragma once

#include <cstdint>
#include <cstring>

inline std::uint32_t le_u16(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8;
}

inline std::uint32_t le_u32(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

// v as its `n` low bytes (1 to 4), low first.
inline void put_le(unsigned char* b, std::uint32_t v, int n = 4) {
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void put_le_f32(unsigned char* b, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put_le(b, bits);
}
