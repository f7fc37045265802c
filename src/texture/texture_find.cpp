#include "texture/texture_find.h"

#include <algorithm>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/letter_case.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<TextureLookup::Name>;

// ASCII letters as lower case, then the bytes: names that match ignoring
// case lie side by side, in byte order.
bool lowered_less(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(ascii_lower(a[i]));
    const unsigned char y = static_cast<unsigned char>(ascii_lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

// The folder's names, read once a run; a folder that cannot be read has none.
Names& listing(TextureLookup* lookup, const fs::path& folder) {
  auto& names = lookup->folders[folder.native()];
  if (names) return *names;
  names.reset(new Names);
  std::vector<std::string> read;
  int code = 0;
  folder_names(folder, &read, &code);
  ++lookup->listings_read;
  std::sort(read.begin(), read.end(), [](const std::string& a, const std::string& b) {
    return lowered_less(a, b) || (!lowered_less(b, a) && a < b);
  });
  for (std::string& name : read) names->push_back({std::move(name)});
  return *names;
}

bool is_kind(TextureLookup::Name* entry, const fs::path& path, bool last) {
  signed char& known = last ? entry->file : entry->folder;
  if (known < 0) {
    FileLook look;
    int code = 0;
    known = g_file_calls.look(path, last, &look, &code) &&
            look.kind == (last ? FileLook::kRegular : FileLook::kFolder);
  }
  return known == 1;
}

// The names of `folder` that `part` matches, in the order they are tried:
// the exact one, then the others that match ignoring case, byte for byte.
std::vector<std::size_t> matches(const Names& names, const std::string& part) {
  auto range =
      std::equal_range(names.begin(), names.end(), TextureLookup::Name{part},
                       [](const auto& a, const auto& b) { return lowered_less(a.name, b.name); });
  std::vector<std::size_t> order;
  for (auto at = range.first; at != range.second; ++at) {
    const std::size_t i = static_cast<std::size_t>(at - names.begin());
    if (at->name == part) {
      order.insert(order.begin(), i);
    } else {
      order.push_back(i);
    }
  }
  return order;
}

// Parts [start, end of relative) under `folder`: each matching name in
// turn, until one leads to the whole path.
bool find_from(TextureLookup* lookup, const fs::path& folder, const std::string& relative,
               std::size_t start, fs::path* found) {
  std::size_t end = relative.find('/', start);
  const bool last = end == std::string::npos;
  if (last) end = relative.size();
  const std::string part = relative.substr(start, end - start);
  // Listings outlive this call: an entry of the map is never taken away.
  Names& names = listing(lookup, folder);
  for (std::size_t i : matches(names, part)) {
    const fs::path path = folder / fs::u8path(names[i].name);
    if (!is_kind(&names[i], path, last)) continue;
    if (last) {
      *found = path;
      return true;
    }
    if (find_from(lookup, path, relative, end + 1, found)) return true;
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

bool find_under(TextureLookup* lookup, const fs::path& folder, const std::string& relative,
                fs::path* found) {
  if (relative.empty()) return false;
  std::lock_guard<std::mutex> lock(lookup->mutex);
  return find_from(lookup, folder, relative, 0, found);
}

void start_lookup(TextureLookup* lookup, const fs::path& cwd) {
  lookup->cwd = cwd;
  lookup->folders.clear();
  lookup->sources.clear();
  lookup->listings_read = 0;
}

bool find_texture(TextureLookup* lookup, const fs::path& model, const fs::path& top,
                  const std::vector<fs::path>& extra, const std::string& relative,
                  fs::path* found) {
  if (relative.empty()) return false;
  fs::path folder = absolute_name(model, lookup->cwd).parent_path();
  fs::path stop = top.empty() ? fs::path() : absolute_name(top, lookup->cwd);
  if (!stop.has_filename() && stop.has_relative_path()) stop = stop.parent_path();
  for (; !folder.empty(); folder = folder.parent_path()) {
    if (find_under(lookup, folder, relative, found)) return true;
    if (folder == folder.parent_path() || folder == stop) break;
  }
  for (const fs::path& dir : extra) {
    if (find_under(lookup, absolute_name(dir, lookup->cwd), relative, found)) return true;
  }
  return false;
}

bool look_at_found(TextureLookup* lookup, const fs::path& found, TextureSource* source) {
  std::lock_guard<std::mutex> lock(lookup->mutex);
  auto known = lookup->sources.find(found.native());
  if (known != lookup->sources.end()) {
    *source = known->second;
    return true;
  }
  if (!look_at_texture(found, source)) return false;
  lookup->sources.emplace(found.native(), *source);
  return true;
}
