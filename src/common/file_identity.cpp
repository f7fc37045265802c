#include "common/file_identity.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool is_regular_file(const std::string& name) {
  std::error_code ec;
  return fs::is_regular_file(fs::path(name), ec);
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  bool same = fs::equivalent(fs::path(a), fs::path(b), ec);
  return !ec && same;
}
