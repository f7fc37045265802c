// The text of the numbers in OBJ records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Longest text of one number: the sign, the 309 integer digits of the largest
// double, the point and six decimals.
constexpr std::size_t kMaxNumberText = 1 + 309 + 1 + 6;

// Writes `value` as fixed-point text with six decimals and returns the end;
// `out` has room for kMaxNumberText characters, of which it may use more than
// the text needs.
// The text is the same on every platform and in every locale: 17 significant
// digits, then rounded at the sixth decimal with halves away from zero; both
// zeros print unsigned; non-finite values print as 1.#INF00, -1.#INF00,
// -1.#IND00 (the default NaN), 1.#QNAN0 or -1.#QNAN0.
char* format_fixed6(double value, char* out);

// The same text of a float, the way of the converter's own coordinates: a
// faster path for most floats, the one above for the rest.
char* format_float6(float value, char* out);

// The exact path alone, without the integer shortcut; kept callable so that
// the shortcut can be checked against it.
char* format_fixed6_exact(double value, char* out);

// Unsigned decimal text of `value`; returns the end.
char* format_unsigned(std::uint64_t value, char* out);

// One corner of a face record, " n/n/n": the number once as position, texture
// coordinate and normal reference. `out` has room for 64 characters, of which
// it may use more than the text needs.
char* format_corner(std::uint64_t number, char* out);

// The decimal digits of `value` (below 10^8) as ASCII, the first digit in the
// lowest byte, so that one little-endian 8-byte store writes them in order;
// their count in *digits.
std::uint64_t short_number_text(std::uint32_t value, int* digits);

// The corner " n/n/n" of a number whose text short_number_text gave, made
// from it without a branch: each copy is one 8-byte store and its slash,
// which the next copy, the next corner or the line end overwrites. `out` has
// room for 32 characters.
inline char* corner_copies(std::uint64_t text, int digits, char* out) {
  *out++ = ' ';
  for (int i = 0; i < 3; ++i) {
    std::memcpy(out, &text, 8);
    out[digits] = '/';
    out += digits + 1;
  }
  return out - 1;
}

// The text of the numbers below 1000 padded to three digits, the first digit
// in the lowest byte: 4 kB that stay in the cache, for the decimals of a
// coordinate and the last digits of a face number alike.
struct ThreeDigits {
  std::uint32_t text[1000];
  constexpr ThreeDigits() : text() {
    for (std::uint32_t i = 0; i < 1000; ++i) {
      text[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
    }
  }
};
inline constexpr ThreeDigits kThreeDigits;
