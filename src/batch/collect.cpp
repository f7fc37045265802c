#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "batch/batch.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"

namespace fs = std::filesystem;

namespace {

// ".mdx" in any letter case.
bool has_model_extension(const fs::path& name) {
  const std::string ext = name.extension().u8string();
  if (ext.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (std::tolower(static_cast<unsigned char>(ext[i])) != ".mdx"[i]) return false;
  }
  return true;
}

// A model, or something under the folder that cannot be used, with why.
struct Found {
  std::string key;  // its path under the folder, the run's order
  fs::path relative;
  std::string failure;
  FileLook file;  // what the name leads to
};

// Every model under root/relative. Links to folders are not followed, so that
// no link makes a loop; links to files are. A name that cannot be used is
// told: a link that leads nowhere, an entry gone before it was looked at.
void find_models(const fs::path& root, const fs::path& relative, std::vector<Found>* found) {
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(root / relative, &names, &code)) {
    found->push_back(
        {relative.generic_u8string(), relative, "cannot read folder: " + reason(code), {}});
    return;
  }
  for (const std::string& file : names) {
    if (interrupted()) return;
    const fs::path name = relative / fs::u8path(file);
    FileLook entry, target;
    if (!g_file_calls.look(root / name, false, &entry, &code)) {
      if (has_model_extension(name)) {
        found->push_back({name.generic_u8string(), name, "cannot open: " + reason(code), entry});
      }
      continue;
    }
    if (entry.kind == FileLook::kFolder) {
      find_models(root, name, found);
      continue;
    }
    if (!has_model_extension(name)) continue;
    std::string failure;
    if (entry.kind == FileLook::kMissing) {
      failure = "vanished while its folder was read";
    } else if (!g_file_calls.look(root / name, true, &target, &code)) {
      failure = "cannot open: " + reason(code);
    } else if (target.kind == FileLook::kMissing) {
      failure = "cannot open: it is a link to a file that does not exist";
    } else if (target.kind == FileLook::kFolder) {
      continue;  // a link to a folder, which is not followed
    } else if (target.kind != FileLook::kRegular) {
      failure = "cannot open: not a regular file";
    }
    found->push_back({name.generic_u8string(), name, failure, target});
  }
}

std::string joined(const std::string& folder, const fs::path& relative) {
  if (relative.empty()) return folder;
  return shown_name((fs::u8path(folder) / relative).u8string());
}

// The model's size and identity, where it is a file.
void identify(BatchItem* item, const FileLook& look) {
  if (look.kind != FileLook::kRegular) return;
  item->bytes = look.size;
  item->device = look.device;
  item->inode = look.inode;
  item->exists = true;
}

}  // namespace

std::vector<BatchItem> collect_models(const std::vector<std::string>& paths,
                                      const BatchOptions& options) {
  std::vector<BatchItem> items;
  for (const std::string& path : paths) {
    fs::path native = native_name(path, NameBytes::kUtf8);
    FileLook look;
    int code = 0;
    bool folder = !path.empty() && !holds_nul(native) &&
                  g_file_calls.look(native, true, &look, &code) && look.kind == FileLook::kFolder;
    if (!folder) {
      BatchItem item;
      item.model = {shown_name(path), native};
      item.relative = native.filename().u8string();
      identify(&item, look);
      items.push_back(std::move(item));
      continue;
    }
    if (!options.recursive) {
      BatchItem item;
      item.model = {shown_name(path), native};
      item.failure = "is a folder (-r converts the models in it)";
      items.push_back(std::move(item));
      continue;
    }
    std::vector<Found> found;
    find_models(native, fs::path(), &found);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.key < b.key; });
    if (found.empty()) {
      BatchItem item;
      item.model = {shown_name(path), native};
      item.failure = "no models found";
      items.push_back(std::move(item));
    }
    for (Found& f : found) {
      BatchItem item;
      item.model = {joined(path, f.relative), native / f.relative};
      item.from_folder = path;
      item.relative = f.key;
      item.failure = f.failure;
      if (item.failure.empty()) identify(&item, f.file);
      items.push_back(std::move(item));
    }
  }
  return items;
}

void name_obj_files(std::vector<BatchItem>* items, const BatchOptions& options) {
  using Identity = std::pair<std::uint64_t, std::uint64_t>;
  std::set<Identity> models;
  std::set<fs::path::string_type> model_keys;
  for (const BatchItem& item : *items) {
    if (!item.failure.empty()) continue;
    model_keys.insert(name_key(item.model.path));
    if (item.exists) models.insert({item.device, item.inode});
  }
  std::map<fs::path::string_type, const BatchItem*> obj_owner;
  std::vector<BatchItem> kept;
  kept.reserve(items->size());
  for (BatchItem& item : *items) {
    if (!item.failure.empty()) {
      kept.push_back(std::move(item));
      continue;
    }
    std::string obj;
    if (options.output) {
      obj = *options.output;
    } else if (options.output_dir) {
      fs::path relative = fs::u8path(item.relative).replace_extension(".obj");
      obj = joined(*options.output_dir, relative);
    } else {
      obj = obj_name_for(item.model.shown);
    }
    item.obj = {obj, native_name(obj, NameBytes::kUtf8)};
    fs::path::string_type key = name_key(item.obj.path);
    auto owner = obj_owner.find(key);
    if (owner != obj_owner.end()) {
      const BatchItem& first = *owner->second;
      // The same model named again (a folder and one of its subfolders): it
      // is converted once, under its first name.
      if (item.exists && first.exists && item.device == first.device && item.inode == first.inode) {
        continue;
      }
      item.failure = "not converted: its OBJ " + obj + " is also that of " + first.model.shown;
      kept.push_back(std::move(item));
      continue;
    }
    // An OBJ that is the model itself is the identity test's to refuse.
    FileLook look;
    int code = 0;
    const bool is_itself = item.exists && g_file_calls.look(item.obj.path, true, &look, &code) &&
                           look.kind == FileLook::kRegular && look.device == item.device &&
                           look.inode == item.inode;
    const bool leads_to_model =
        (key != name_key(item.model.path) && model_keys.count(key)) ||
        (!is_itself && look.kind == FileLook::kRegular && models.count({look.device, look.inode}));
    if (leads_to_model) {
      item.failure = "not converted: its OBJ " + obj + " is one of the models";
    }
    kept.push_back(std::move(item));
    if (!leads_to_model) obj_owner.emplace(key, &kept.back());
  }
  items->swap(kept);
}
