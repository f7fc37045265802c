// What must hold for the walk over any bytes at all: the windowed and the
// plain source agree, and every OBJ line is one whole record of its kind.
#pragma once

#include <cstring>
#include <string>

#include "walk_runner.h"

namespace walk_checks {

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One number of a "v", "vn" or "vt" record, from *p up to a space or newline.
inline bool number_at(const char*& p, const char* end) {
  for (const char* form : {"1.#INF00", "-1.#INF00", "-1.#IND00", "1.#QNAN0", "-1.#QNAN0"}) {
    std::size_t n = std::strlen(form);
    if (static_cast<std::size_t>(end - p) >= n && std::memcmp(p, form, n) == 0) {
      p += n;
      return true;
    }
  }
  if (p < end && *p == '-') ++p;
  const char* digits = p;
  while (p < end && is_digit(*p)) ++p;
  if (p == digits || p - digits > 39 || (p - digits > 1 && *digits == '0')) return false;
  if (p == end || *p++ != '.') return false;
  for (int i = 0; i < 6; ++i) {
    if (p == end || !is_digit(*p++)) return false;
  }
  return true;
}

// One corner "n/n/n" of a face record, the same number three times.
inline bool corner_at(const char*& p, const char* end) {
  const char* first = p;
  while (p < end && is_digit(*p)) ++p;
  std::size_t n = static_cast<std::size_t>(p - first);
  if (n == 0 || n > 20 || *first == '0') return false;
  for (int k = 0; k < 2; ++k) {
    if (p == end || *p++ != '/') return false;
    if (static_cast<std::size_t>(end - p) < n || std::memcmp(p, first, n) != 0) return false;
    p += n;
  }
  return true;
}

// "" when every line is a whole record, else the first line that is not.
inline std::string bad_line(const std::string& obj) {
  const char* p = obj.data();
  const char* end = p + obj.size();
  while (p < end) {
    const char* line = p;
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
    if (eol == nullptr) return std::string(line, end);
    int fields = 0;
    bool (*field)(const char*&, const char*) = number_at;
    if (std::strncmp(p, "v ", 2) == 0) {
      fields = 3, p += 1;
    } else if (std::strncmp(p, "vn ", 3) == 0) {
      fields = 3, p += 2;
    } else if (std::strncmp(p, "vt ", 3) == 0) {
      fields = 2, p += 2;
    } else if (std::strncmp(p, "f ", 2) == 0) {
      fields = 3, p += 1, field = corner_at;
    }
    for (int i = 0; i < fields; ++i) {
      if (*p++ != ' ' || !field(p, eol)) return std::string(line, eol);
    }
    if (fields == 0 || p != eol) return std::string(line, eol);
    p = eol + 1;
  }
  return "";
}

// Runs both sources over the bytes; "" when all holds, else what did not.
inline std::string check_walk(const std::string& bytes, std::size_t window) {
  WalkRun plain = run_plain_walk(bytes, 600);
  WalkRun fast = run_walk(bytes, window, 600);
  if (fast.obj != plain.obj) return "windowed and plain sources wrote different records";
  if (fast.console != plain.console) return "windowed and plain sources printed different lines";
  if (fast.result != plain.result || fast.err != plain.err) return "the sources ended differently";
  std::string bad = bad_line(fast.obj);
  if (!bad.empty() || (!fast.obj.empty() && fast.obj.back() != '\n')) {
    return "not a whole record: " + bad;
  }
  return "";
}

}  // namespace walk_checks
