#include "batch/json_text.h"

#include <cstdio>

namespace {

// The length of the valid UTF-8 character at `at`, or 0 where there is none.
std::size_t utf8_length(const std::string& s, std::size_t at) {
  const unsigned char lead = static_cast<unsigned char>(s[at]);
  const std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (n == 0 || at + n > s.size()) return 0;
  char32_t c = n == 4 ? lead & 0x07 : n == 3 ? lead & 0x0F : lead & 0x1F;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char next = static_cast<unsigned char>(s[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = c << 6 | (next & 0x3F);
  }
  const bool overlong = (n == 3 && c < 0x800) || (n == 4 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string json_string(const std::string& bytes) {
  std::string out = "\"";
  char escape[8];
  for (std::size_t at = 0; at < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++at;
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
      ++at;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++at;
    } else if (std::size_t n = utf8_length(bytes, at)) {
      out.append(bytes, at, n);
      at += n;
    } else {
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      out += escape;
      ++at;
    }
  }
  return out + "\"";
}

std::string json_model(const std::string& model, const std::string& obj, const char* status,
                       const std::string& fields) {
  return "{\"type\": \"model\", \"model\": " + json_string(model) +
         ", \"obj\": " + json_string(obj) + ", \"status\": \"" + status + "\"" + fields + "}\n";
}

std::string json_field(const char* name, const std::string& text) {
  return std::string(", \"") + name + "\": " + json_string(text);
}

std::string json_field(const char* name, std::uint64_t number) {
  return std::string(", \"") + name + "\": " + std::to_string(number);
}

std::string json_field(const char* name, double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", seconds);
  return std::string(", \"") + name + "\": " + text;
}
