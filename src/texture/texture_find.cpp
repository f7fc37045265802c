#include "texture/texture_find.h"

#include <algorithm>
#include <system_error>

#include "common/file_calls.h"
#include "common/letter_case.h"

namespace fs = std::filesystem;

namespace {

bool is_kind(const fs::path& name, bool last) {
  FileLook look;
  int code = 0;
  if (!g_file_calls.look(name, last, &look, &code)) return false;
  return look.kind == (last ? FileLook::kRegular : FileLook::kFolder);
}

// The part itself, else the first name of the folder in byte order that
// equals it ignoring case; false where neither is of the kind wanted.
bool match_part(const fs::path& folder, const std::string& part, bool last, fs::path* out) {
  const fs::path exact = folder / fs::u8path(part);
  if (is_kind(exact, last)) {
    *out = exact;
    return true;
  }
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(folder, &names, &code)) return false;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (name == part || !same_ignoring_case(name, part)) continue;
    const fs::path candidate = folder / fs::u8path(name);
    if (is_kind(candidate, last)) {
      *out = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string texture_path(const std::string& stored) {
  std::string path;
  std::size_t at = 0;
  // A drive ("C:") is no part of a place under a folder.
  if (stored.size() >= 2 && stored[1] == ':') at = 2;
  while (at <= stored.size()) {
    std::size_t end = stored.find_first_of("\\/", at);
    if (end == std::string::npos) end = stored.size();
    const std::string part = stored.substr(at, end - at);
    if (!part.empty() && part != "." && part != "..") path += (path.empty() ? "" : "/") + part;
    at = end + 1;
  }
  return path;
}

bool find_under(const fs::path& folder, const std::string& relative, fs::path* found) {
  fs::path at = folder;
  for (std::size_t start = 0; start <= relative.size();) {
    std::size_t end = relative.find('/', start);
    const bool last = end == std::string::npos;
    if (last) end = relative.size();
    if (!match_part(at, relative.substr(start, end - start), last, &at)) return false;
    start = end + 1;
  }
  *found = at;
  return true;
}

bool find_texture(const fs::path& model, const std::vector<fs::path>& extra,
                  const std::string& relative, fs::path* found) {
  if (relative.empty()) return false;
  std::error_code ec;
  fs::path folder = fs::absolute(model, ec).lexically_normal().parent_path();
  for (; !folder.empty(); folder = folder.parent_path()) {
    if (find_under(folder, relative, found)) return true;
    if (folder == folder.parent_path()) break;
  }
  for (const fs::path& dir : extra) {
    if (find_under(dir, relative, found)) return true;
  }
  return false;
}
