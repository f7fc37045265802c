#include "image/png_chunks.h"

#include <cstdint>
#include <cstring>

namespace {

std::uint32_t be_u32(const unsigned char* b) {
  return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

bool kept(const unsigned char* type) {
  for (const char* name : {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}) {
    if (std::memcmp(type, name, 4) == 0) return true;
  }
  return false;
}

bool wrong(std::string* what, const char* why) {
  *what = why;
  return false;
}

}  // namespace

bool keep_pixel_chunks(const unsigned char* bytes, std::size_t size,
                       std::vector<unsigned char>* out, std::string* what) {
  if (size < 8) return wrong(what, "the PNG signature is cut short");
  out->assign(bytes, bytes + 8);
  bool ended = false;
  for (std::size_t at = 8; at < size && !ended;) {
    if (size - at < 12) return wrong(what, "a PNG chunk is cut short");
    const std::uint64_t length = be_u32(bytes + at);
    if (length > size - at - 12) return wrong(what, "a PNG chunk runs past the end of the file");
    const unsigned char* type = bytes + at + 4;
    if (at == 8 && std::memcmp(type, "IHDR", 4) != 0) return wrong(what, "the PNG has no IHDR");
    ended = std::memcmp(type, "IEND", 4) == 0;
    if (kept(type)) out->insert(out->end(), bytes + at, bytes + at + 12 + length);
    at += 12 + length;
  }
  if (!ended) return wrong(what, "the PNG has no IEND");
  return true;
}
