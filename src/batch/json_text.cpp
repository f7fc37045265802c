#include "batch/json_text.h"

#include <cstdio>

#include "common/utf8.h"

std::string json_string(const std::string& bytes) {
  std::string out = "\"";
  char escape[8];
  char32_t code;
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
    } else if (std::size_t n = utf8_char(bytes, at, &code)) {
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

std::string json_model(const std::string& model, const std::string& output, bool obj_run,
                       const char* status, const std::string& fields) {
  return "{\"type\": \"model\", \"model\": " + json_string(model) +
         (obj_run ? json_field("obj", output) : "") + json_field("output", output) +
         ", \"status\": \"" + status + "\"" + fields + "}\n";
}

std::string json_failure(const std::string& path, const std::string& error) {
  return "{\"type\": \"failure\"" + json_field("path", path) + json_field("error", error) + "}\n";
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

std::string json_field(const char* name, const std::vector<std::string>& texts) {
  std::string list;
  for (const std::string& text : texts) list += (list.empty() ? "" : ", ") + json_string(text);
  return std::string(", \"") + name + "\": [" + list + "]";
}
