// Numbers as the model and texture formats store them: little-endian,
// whatever the machine's own order.
#pragma once

#include <cstdint>

inline std::uint32_t le_u16(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8;
}

inline std::uint32_t le_u32(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}
