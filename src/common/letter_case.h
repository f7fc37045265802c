// Names compared without regard to letter case, as file extensions and
// extracted game data need: ASCII letters only, every other byte as it is,
// whatever the locale.
#pragma once

#include <cstddef>
#include <string_view>

inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

inline bool ends_ignoring_case(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && same_ignoring_case(s.substr(s.size() - tail.size()), tail);
}
