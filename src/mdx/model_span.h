// A stretch of the model that one chunk or entry may not leave, [at, end),
// and its readers: each reads at the span's place and moves past what it
// read; false where the span (or the file) ends first. The chunk walk and
// the skeleton walk read their entries through them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "common/little_endian.h"
#include "mdx/model_source.h"

struct Span {
  ModelSource* file;
  std::uint64_t at;
  std::uint64_t end;
};

// A name of at most `n` bytes, ending at its first zero byte.
inline std::string fixed_name(const unsigned char* b, std::size_t n) {
  const char* s = reinterpret_cast<const char*>(b);
  return std::string(s, strnlen(s, n));
}

inline bool read_span(Span& s, void* into, std::uint64_t n) {
  if (s.end - s.at < n) return false;
  seek_to(*s.file, s.at);
  if (!read_bytes(*s.file, into, static_cast<std::size_t>(n))) return false;
  s.at += n;
  return true;
}

inline bool read_u32(Span& s, std::uint32_t* v) {
  unsigned char b[4];
  if (!read_span(s, b, 4)) return false;
  *v = le_u32(b);
  return true;
}

// Reads 4 bytes: true where they are `tag`.
inline bool read_tag(Span& s, const char* tag) {
  char b[4];
  return read_span(s, b, 4) && std::memcmp(b, tag, 4) == 0;
}

inline bool skip(Span& s, std::uint64_t n) {
  if (s.end - s.at < n) return false;
  s.at += n;
  return true;
}

// An inclusive size (counting itself, at least `least`) read at the span's
// place: `entry` is what follows it, up to the entry's end, where the span
// is left.
inline bool entry_span(Span& s, std::uint64_t least, Span* entry) {
  const std::uint64_t begin = s.at;
  std::uint32_t size;
  if (!read_u32(s, &size) || size < least || size > s.end - begin) return false;
  *entry = Span{s.file, s.at, begin + size};
  s.at = begin + size;
  return true;
}
