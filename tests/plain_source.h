// The model read the plain way, the yardstick for the windowed ModelSource:
// every tag test compares the 4 bytes at one offset, every value is read
// where it lies.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "common/types.h"

struct PlainSource {
  const std::string* bytes;
  std::uint64_t pos = 0;
};

inline std::uint64_t source_size(const PlainSource& src) { return src.bytes->size(); }
inline std::uint64_t tell(const PlainSource& src) { return src.pos; }
inline void seek_to(PlainSource& src, std::uint64_t offset) { src.pos = offset; }
inline void skip_bytes(PlainSource& src, std::uint64_t n) { src.pos += n; }
inline bool io_failed(const PlainSource&) { return false; }

inline bool read_bytes(PlainSource& src, void* dst, std::size_t n) {
  if (src.pos + n > src.bytes->size()) return false;
  std::memcpy(dst, src.bytes->data() + src.pos, n);
  src.pos += n;
  return true;
}

inline bool find_tag(PlainSource& src, Tag tag, std::uint64_t from, std::uint64_t* at) {
  for (std::uint64_t offset = from; offset + 4 <= src.bytes->size(); ++offset) {
    if (std::memcmp(src.bytes->data() + offset, tag.bytes, 4) == 0) {
      *at = offset;
      src.pos = offset + 4;
      return true;
    }
  }
  return false;
}
