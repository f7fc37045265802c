// The plain walk: every tag test a seek and a 4-byte read on std::ifstream,
// every record an fprintf. What the converter costs when written literally.
#include <cstdio>
#include <fstream>
#include <string>

#include "reference_walk.h"

namespace {

struct StreamReader {
  std::ifstream in;
  std::uint64_t length = 0;

  std::uint64_t size() const { return length; }
  std::uint64_t tell() { return static_cast<std::uint64_t>(in.tellg()); }
  void seek(std::uint64_t p) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(p));
  }
  bool read(void* out, std::size_t n) {
    std::uint64_t p = tell();
    if (p > length || length - p < n) return false;
    in.read(static_cast<char*>(out), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount()) == n;
  }
  bool find(const char* tag, std::uint64_t from, std::uint64_t* at) {
    for (std::uint64_t o = from; o + 4 <= length; ++o) {
      char b[4];
      seek(o);
      in.read(b, 4);
      if (std::memcmp(b, tag, 4) == 0) {
        *at = o;
        return true;
      }
    }
    return false;
  }
};

struct PrintfWriter {
  std::FILE* out = nullptr;
  void vertex(float x, float y, float z) { std::fprintf(out, "v %f %f %f\n", x, y, z); }
  void normal(float x, float y, float z) { std::fprintf(out, "vn %f %f %f\n", x, y, z); }
  void tex(float u, float v) { std::fprintf(out, "vt %f %f\n", u, 1.0 - v); }
  void face(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    unsigned long long x = a + 1, y = b + 1, z = c + 1;
    std::fprintf(out, "f %llu/%llu/%llu %llu/%llu/%llu %llu/%llu/%llu\n", x, x, x, y, y, y, z, z,
                 z);
  }
};

}  // namespace

int main() {
  std::string in_name, out_name;
  read_dialogue(&in_name, &out_name);
  StreamReader reader;
  reader.in.open(in_name, std::ios::binary);
  if (!reader.in) return 1;
  reader.in.seekg(0, std::ios::end);
  reader.length = static_cast<std::uint64_t>(reader.in.tellg());
  PrintfWriter writer;
  writer.out = std::fopen(out_name.c_str(), "w");
  if (!writer.out) return 1;
  bool ok = reference_walk(reader, writer);
  return std::fclose(writer.out) == 0 && ok ? 0 : 1;
}
