// The floor: the least work that writes these records. The model is mapped,
// tags are found with memmem, numbers go through std::to_chars into a 1 MiB
// buffer written in big blocks. Not exact at halves; only a yardstick.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

struct MappedReader {
  const unsigned char* data = nullptr;
  std::uint64_t length = 0, pos = 0;

  std::uint64_t size() const { return length; }
  std::uint64_t tell() const { return pos; }
  void seek(std::uint64_t p) { pos = p; }
  bool read(void* out, std::size_t n) {
    if (pos > length || length - pos < n) return false;
    std::memcpy(out, data + pos, n);
    pos += n;
    return true;
  }
  bool find(const char* tag, std::uint64_t from, std::uint64_t* at) {
    if (from >= length) return false;
    const void* hit = memmem(data + from, length - from, tag, 4);
    if (!hit) return false;
    *at = static_cast<std::uint64_t>(static_cast<const unsigned char*>(hit) - data);
    pos = *at + 4;
    return true;
  }
};

struct BlockWriter {
  int fd = -1;
  char buf[1 << 20];
  std::size_t used = 0;

  void drain() {
    if (used && write(fd, buf, used) < 0) std::perror("write");
    used = 0;
  }
  char* room() {
    if (sizeof buf - used < 256) drain();
    return buf + used;
  }
  char* num(char* p, double v) {
    *p++ = ' ';
    return std::to_chars(p, p + 64, v, std::chars_format::fixed, 6).ptr;
  }
  void line3(const char* prefix, float x, float y, float z) {
    char* p = room();
    std::size_t n = std::strlen(prefix);
    std::memcpy(p, prefix, n);
    p = num(num(num(p + n, x), y), z);
    *p++ = '\n';
    used = static_cast<std::size_t>(p - buf);
  }
  void vertex(float x, float y, float z) { line3("v", x, y, z); }
  void normal(float x, float y, float z) { line3("vn", x, y, z); }
  void tex(float u, float v) {
    char* p = room();
    *p++ = 'v';
    *p++ = 't';
    p = num(num(p, u), 1.0 - v);
    *p++ = '\n';
    used = static_cast<std::size_t>(p - buf);
  }
  void face(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    char* p = room();
    *p++ = 'f';
    for (std::uint64_t x : {a, b, c}) {
      *p++ = ' ';
      char t[24];
      char* e = std::to_chars(t, t + 24, x + 1).ptr;
      for (int i = 0; i < 3; ++i) {
        std::memcpy(p, t, static_cast<std::size_t>(e - t));
        p += e - t;
        *p++ = '/';
      }
      --p;
    }
    *p++ = '\n';
    used = static_cast<std::size_t>(p - buf);
  }
};

bool read_answer(std::string* name) {
  if (!std::getline(std::cin, *name)) return false;
  if (!name->empty() && name->back() == '\r') name->pop_back();
  return true;
}

// The dialogue of mdx2obj, without its checks.
void read_dialogue(std::string* in_name, std::string* out_name) {
  std::printf("Quarnex MDX -> OBJ File Converter\nEnter MDX Filename: Enter OBJ Filename: ");
  std::fflush(stdout);
  read_answer(in_name);
  read_answer(out_name);
}

bool ref_u32(MappedReader& r, std::uint32_t* v) {
  unsigned char b[4];
  if (!r.read(b, 4)) return false;
  *v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
       std::uint32_t(b[3]) << 24;
  return true;
}

bool ref_floats(MappedReader& r, float* out, int count) {
  unsigned char b[12];
  if (!r.read(b, 4 * count)) return false;
  std::memcpy(out, b, 4 * count);  // the benchmark machines are little-endian
  return true;
}

// The geoset walk, stopping at the first value the file does not hold, as
// mdx2obj does, so that both write the same records of a well-formed model.
bool reference_walk(MappedReader& r, BlockWriter& w) {
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

BlockWriter writer;

}  // namespace

int main() {
  std::string in_name, out_name;
  read_dialogue(&in_name, &out_name);
  int in = open(in_name.c_str(), O_RDONLY);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0) return 1;
  MappedReader reader;
  reader.length = static_cast<std::uint64_t>(st.st_size);
  if (reader.length > 0) {
    void* map = mmap(nullptr, reader.length, PROT_READ, MAP_PRIVATE, in, 0);
    if (map == MAP_FAILED) return 1;
    reader.data = static_cast<const unsigned char*>(map);
  }
  writer.fd = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (writer.fd < 0) return 1;
  bool ok = reference_walk(reader, writer);
  writer.drain();
  close(writer.fd);
  return ok ? 0 : 1;
}
