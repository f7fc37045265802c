// The geoset walk of the two reference programs, over their own reader and
// writer: it stops at the first value the file does not hold, as mdx2obj does,
// so that all three write the same records of a well-formed model.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

inline bool read_answer(std::string* name) {
  if (!std::getline(std::cin, *name)) return false;
  if (!name->empty() && name->back() == '\r') name->pop_back();
  return true;
}

// The dialogue of mdx2obj, without its checks.
inline void read_dialogue(std::string* in_name, std::string* out_name) {
  std::printf("Quarnex MDX -> OBJ File Converter\nEnter MDX Filename: Enter OBJ Filename: ");
  std::fflush(stdout);
  read_answer(in_name);
  read_answer(out_name);
}

template <class Reader>
bool ref_u32(Reader& r, std::uint32_t* v) {
  unsigned char b[4];
  if (!r.read(b, 4)) return false;
  *v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
       std::uint32_t(b[3]) << 24;
  return true;
}

template <class Reader>
bool ref_floats(Reader& r, float* out, int count) {
  unsigned char b[12];
  if (!r.read(b, 4 * count)) return false;
  std::memcpy(out, b, 4 * count);  // the benchmark machines are little-endian
  return true;
}

template <class Reader, class Writer>
bool reference_walk(Reader& r, Writer& w) {
  const std::uint64_t size = r.size();
  std::uint64_t scan = 0, base = 0, at = 0;
  while (scan < size && r.find("VRTX", scan, &at)) {
    std::printf("Geoset Found!\n");
    std::uint32_t n, m, t, k;
    float f[3];
    if (!ref_u32(r, &n)) return false;
    std::printf("Vertices: %u\n", n);
    std::fflush(stdout);
    for (std::uint32_t i = 0; i < n; ++i) {
      if (!ref_floats(r, f, 3)) return false;
      w.vertex(f[0], f[1], f[2]);
    }
    r.seek(r.tell() + 4);
    if (!ref_u32(r, &m)) return false;
    std::printf("Normals: %u\n", m);
    std::fflush(stdout);
    for (std::uint32_t i = 0; i < m; ++i) {
      if (!ref_floats(r, f, 3)) return false;
      w.normal(f[0], f[1], f[2]);
    }
    if (!r.find("PVTX", r.tell(), &at)) break;
    const std::uint64_t index_pos = at + 4;
    if (r.find("UVBS", index_pos, &at)) {
      if (!ref_u32(r, &t)) return false;
      std::printf("TVerts: %u\n%llu\n", t, static_cast<unsigned long long>(r.tell()));
      std::fflush(stdout);
      for (std::uint32_t i = 0; i < t; ++i) {
        if (!ref_floats(r, f, 2)) return false;
        w.tex(f[0], f[1]);
      }
      scan = at;
    } else {
      scan = size;
    }
    r.seek(index_pos);
    if (!ref_u32(r, &k)) return false;
    std::printf("Faces: %u\n%llu\n", k, static_cast<unsigned long long>(r.tell()));
    std::fflush(stdout);
    for (std::uint32_t i = 0; i < k / 3; ++i) {
      unsigned char b[6];
      if (!r.read(b, 6)) return false;
      w.face(base + (b[0] | b[1] << 8), base + (b[2] | b[3] << 8), base + (b[4] | b[5] << 8));
    }
    base += n;
    scan += 1;
  }
  return true;
}
