// The model read the plain way: every tag test a seek and a 4-byte read, every
// value a seek and a read, on a stream the test owns. The walk over it is the
// yardstick for the windowed ModelSource.
#pragma once

#include <cstdint>
#include <cstring>
#include <istream>

#include "common/types.h"

struct PlainSource {
  std::istream* in = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
};

inline PlainSource make_plain_source(std::istream& in) {
  in.seekg(0, std::ios::end);
  PlainSource src;
  src.in = &in;
  src.size = static_cast<std::uint64_t>(in.tellg());
  return src;
}

inline std::uint64_t source_size(const PlainSource& src) { return src.size; }
inline std::uint64_t tell(const PlainSource& src) { return src.pos; }
inline void seek_to(PlainSource& src, std::uint64_t offset) { src.pos = offset; }
inline void skip_bytes(PlainSource& src, std::uint64_t n) { src.pos += n; }
inline bool io_failed(const PlainSource&) { return false; }

inline bool read_bytes(PlainSource& src, void* dst, std::size_t n) {
  if (src.pos + n > src.size) return false;
  src.in->clear();
  src.in->seekg(static_cast<std::streamoff>(src.pos));
  src.in->read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
  if (src.in->gcount() != static_cast<std::streamsize>(n)) return false;
  src.pos += n;
  return true;
}

inline bool find_tag(PlainSource& src, Tag tag, std::uint64_t from, std::uint64_t* at) {
  for (std::uint64_t offset = from; offset + 4 <= src.size; ++offset) {
    char b[4];
    src.pos = offset;
    if (read_bytes(src, b, 4) && std::memcmp(b, tag.bytes, 4) == 0) {
      *at = offset;
      return true;
    }
  }
  return false;
}
