// The floor: the least work that writes these records. The model is mapped,
// tags are found with memmem, numbers go through std::to_chars into a 1 MiB
// buffer written in big blocks. Not exact at halves; only a yardstick.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <string>

#include "reference_walk.h"

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
