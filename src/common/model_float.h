// A float of the model as the writers take it: read from its little-endian
// bytes, negated and scaled so that every output format holds the same value.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/little_endian.h"

inline float f32_at(const unsigned char* b) {
  const std::uint32_t bits = le_u32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// -v exactly: its sign bit flipped, so that 0 becomes -0 and a NaN keeps its
// payload.
inline float negated(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits ^= 0x80000000u;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// v times the scale, rounded once to the nearest float. A product past the
// largest float is an infinity, as rounding to nearest makes it (spelt out:
// the conversion of an out-of-range double is no defined operation).
inline float scaled(float v, double scale) {
  const double product = static_cast<double>(v) * scale;
  constexpr double kPastLargest = 3.4028235677973366e38;  // FLT_MAX and half a step
  if (std::fabs(product) < kPastLargest || product != product) {
    return static_cast<float>(product);
  }
  return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(v));
}
