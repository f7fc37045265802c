#include "texture/texture_place.h"

#include <iterator>

#include "common/file_identity.h"

namespace fs = std::filesystem;

namespace {

// "art/" is the folder "art".
fs::path without_slash(fs::path path) {
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

// The parts of `path` below `folder` (both absolute), as `path` spells them,
// "/" between; false where it does not lie below it.
bool parts_below(const fs::path& path, const fs::path& folder, const fs::path& cwd,
                 std::string* below) {
  const fs::path key = name_key(path, cwd), top = name_key(without_slash(folder), cwd);
  auto k = key.begin(), spelled = path.begin();
  for (auto t = top.begin(); t != top.end(); ++t, ++k, ++spelled) {
    if (k == key.end() || spelled == path.end() || *k != *t) return false;
  }
  below->clear();
  for (; spelled != path.end(); ++spelled) {
    *below += (below->empty() ? "" : "/") + spelled->u8string();
  }
  return !below->empty();
}

// The run folder that holds the source: the model's own where it does, else
// the nearest above the source.
const RunFolder* folder_of(const RunFolders& folders, const RunFolder* own, const fs::path& source,
                           std::string* below) {
  if (own && parts_below(source, own->path, folders.cwd, below)) return own;
  for (fs::path at = source.parent_path(); !at.empty(); at = at.parent_path()) {
    auto found = folders.by_key.find(name_key(at, folders.cwd));
    if (found != folders.by_key.end()) {
      const RunFolder& folder = folders.all[found->second];
      if (parts_below(source, folder.path, folders.cwd, below)) return &folder;
    }
    if (at == at.parent_path()) break;
  }
  return nullptr;
}

std::string joined(const std::string& folder, const std::string& rest) {
  if (folder.empty()) return rest;
  const char last = folder.back();
  return folder + (last == '/' || last == '\\' ? "" : "/") + rest;
}

}  // namespace

std::size_t add_run_folder(RunFolders* folders, const std::string& shown,
                           const std::string& mirror) {
  const fs::path path = without_slash(
      absolute_name(native_name(shown.empty() ? "." : shown, NameBytes::kUtf8), folders->cwd));
  auto at = folders->by_key.emplace(name_key(path, folders->cwd), folders->all.size());
  if (at.second) folders->all.push_back({path, shown, mirror});
  return at.first->second;
}

ImagePlace place_image(const Settings& settings, const RunFolders* folders, const RunFolder* own,
                       const fs::path& source, TextureKind kind, const std::string& relative,
                       const std::string& obj_shown) {
  std::string below;
  const RunFolder* folder =
      !settings.output && folders ? folder_of(*folders, own, source, &below) : nullptr;
  const std::optional<std::string>& root = settings.output_dir;
  std::string shown;
  if (folder) {
    const std::string image = image_path(below, kind);
    shown = root ? joined(*root, joined(folder->mirror, image)) : joined(folder->shown, image);
  } else {
    const std::string image = image_path(relative, kind);
    shown = joined(root ? *root : fs::u8path(obj_shown).parent_path().u8string(), image);
  }
  ImagePlace place;
  place.shown = shown;
  place.file = native_name(shown, NameBytes::kUtf8);
  return place;
}

std::string path_from(const fs::path& file, const fs::path& folder, const fs::path& cwd) {
  const fs::path whole = absolute_name(file, cwd), from = without_slash(absolute_name(folder, cwd));
  const fs::path key = name_key(whole, cwd), from_key = name_key(from, cwd);
  auto k = key.begin(), f = from_key.begin();
  std::size_t common = 0;
  while (k != key.end() && f != from_key.end() && *k == *f) ++k, ++f, ++common;
  // Another drive or root: no path leads there from the MTL's folder.
  if (common == 0) return whole.generic_u8string();
  std::string path;
  for (; f != from_key.end(); ++f) {
    if (!f->empty()) path += "../";
  }
  auto spelled = whole.begin();
  std::advance(spelled, static_cast<std::ptrdiff_t>(common));
  for (std::string sep; spelled != whole.end(); ++spelled, sep = "/")
    path += sep + spelled->u8string();
  return path;
}
