// The one reading of UTF-8 for what the program shows: the lines and the
// status line's cells, and the JSON lines' strings.
#pragma once

#include <cstddef>
#include <string>

// The length of the character of valid UTF-8 at `at` (1 for ASCII), with its
// code point in *c; 0 where the bytes there are none: a stray continuation,
// a character cut short, an overlong form, a surrogate or past U+10FFFF.
inline std::size_t utf8_char(const std::string& s, std::size_t at, char32_t* c) {
  const unsigned char lead = static_cast<unsigned char>(s[at]);
  if (lead < 0x80) {
    *c = lead;
    return 1;
  }
  const std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  char32_t v = n == 4 ? lead & 0x07 : n == 3 ? lead & 0x0F : lead & 0x1F;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char next = static_cast<unsigned char>(s[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    v = v << 6 | (next & 0x3F);
  }
  const bool overlong = (n == 3 && v < 0x800) || (n == 4 && v < 0x10000);
  if (overlong || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *c = v;
  return n;
}

// True where every byte of `s` is part of valid UTF-8.
inline bool valid_utf8(const std::string& s) {
  char32_t c = 0;
  for (std::size_t at = 0, n = 0; at < s.size(); at += n) {
    if ((n = utf8_char(s, at, &c)) == 0) return false;
  }
  return true;
}

// A control character, C0, DEL or C1: shown as "?" wherever a name is shown,
// so that no name breaks a line or moves the cursor.
inline bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }
