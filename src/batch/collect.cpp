#include <algorithm>
#include <cctype>
#include <set>
#include <system_error>
#include <unordered_map>

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
  std::string key;  // its path under the folder with "/" separators: the run's order
  std::string failure;
  FileLook file;           // what the name leads to
  bool is_folder = false;  // a folder that cannot be read, not a model
};

// Calls the progress now and then, not for every name: the walk of a large
// tree must not wait for a terminal.
struct Finder {
  const FindProgress& progress;
  std::size_t found = 0;
  std::size_t looked = 0;
  void looked_at(std::size_t models) {
    found = models;
    if (progress && ++looked % 64 == 1) progress(found);
  }
};

// Every model under root/relative. Links to folders are not followed, so that
// no link makes a loop; links to files are. A name that cannot be used is
// told: a link that leads nowhere, an entry gone before it was looked at.
void find_models(const fs::path& root, const fs::path& relative, std::vector<Found>* found,
                 Finder* finder) {
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(root / relative, &names, &code)) {
    found->push_back(
        {relative.generic_u8string(), "cannot read folder: " + reason(code), {}, true});
    return;
  }
  for (const std::string& file : names) {
    if (interrupted()) return;
    finder->looked_at(found->size());
    const fs::path name = relative / fs::u8path(file);
    FileLook entry, target;
    if (!g_file_calls.look(root / name, false, &entry, &code)) {
      if (has_model_extension(name)) {
        found->push_back({name.generic_u8string(), "cannot open: " + reason(code), entry});
      }
      continue;
    }
    if (entry.kind == FileLook::kFolder) {
      find_models(root, name, found, finder);
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
    found->push_back({name.generic_u8string(), failure, target});
  }
}

std::string joined(const std::string& folder, const fs::path& relative) {
  if (relative.empty()) return folder;
  return shown_name((fs::u8path(folder) / relative).u8string());
}

std::size_t add_item(BatchList* list, const std::string& name, std::size_t relative_len,
                     const std::string& failure, bool model) {
  BatchItem item;
  item.name = list->names.size();
  item.name_len = static_cast<std::uint32_t>(name.size());
  item.relative_len = static_cast<std::uint32_t>(relative_len);
  item.model = model;
  list->names += name;
  if (!failure.empty()) {
    list->failures.push_back(failure);
    item.failure = static_cast<std::uint32_t>(list->failures.size());
  }
  list->items.push_back(item);
  return list->items.size() - 1;
}

void identify(BatchItem* item, const FileLook& look) {
  if (look.kind != FileLook::kRegular) return;
  item->bytes = look.size;
  item->device = look.device;
  item->inode = look.inode;
  item->exists = true;
}

// A hash of the key by which names compare: names with another key never
// collide, and a shared hash is checked against the names themselves.
std::uint64_t key_hash(const fs::path::string_type& key) {
  std::uint64_t hash = 14695981039346656037ull;
  for (auto c : key) hash = (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
  return hash;
}

}  // namespace

std::string model_name(const BatchList& list, const BatchItem& item) {
  return list.names.substr(item.name, item.name_len);
}

std::string obj_name(const BatchList& list, const BatchItem& item) {
  return list.names.substr(item.obj, item.obj_len);
}

const std::string& failure_of(const BatchList& list, const BatchItem& item) {
  static const std::string none;
  return item.failure == 0 ? none : list.failures[item.failure - 1];
}

BatchList collect_models(const std::vector<std::string>& paths, const BatchOptions& options,
                         const FindProgress& progress) {
  BatchList list;
  Finder finder{progress};
  for (const std::string& path : paths) {
    fs::path native = native_name(path, NameBytes::kUtf8);
    FileLook look;
    int code = 0;
    bool folder = !path.empty() && !holds_nul(native) &&
                  g_file_calls.look(native, true, &look, &code) && look.kind == FileLook::kFolder;
    if (!folder) {
      const std::string shown = shown_name(path);
      std::size_t at = add_item(&list, shown, native.filename().u8string().size(), "", true);
      identify(&list.items[at], look);
      continue;
    }
    if (!options.recursive) {
      add_item(&list, shown_name(path), 0, "is a folder (-r converts the models in it)", false);
      continue;
    }
    std::vector<Found> found;
    find_models(native, fs::path(), &found, &finder);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.key < b.key; });
    if (found.empty()) add_item(&list, shown_name(path), 0, "no models found", false);
    for (Found& f : found) {
      // A folder that cannot be read is told, but it is no model.
      const bool model = !f.is_folder;
      const fs::path relative = fs::u8path(f.key);
      std::size_t at =
          add_item(&list, joined(path, relative), relative.u8string().size(), f.failure, model);
      list.items[at].found = true;
      if (f.failure.empty()) identify(&list.items[at], f.file);
    }
  }
  return list;
}

void name_obj_files(BatchList* list, const BatchOptions& options) {
  // Keys as hashes with the item they came from: a few bytes a model, the
  // names themselves compared only where two hashes meet.
  std::unordered_multimap<std::uint64_t, std::size_t> model_keys, obj_keys;
  std::set<std::pair<std::uint64_t, std::uint64_t>> models;
  auto model_path = [&](std::size_t i) {
    return native_name(model_name(*list, list->items[i]), NameBytes::kUtf8);
  };
  auto obj_path = [&](std::size_t i) {
    return native_name(obj_name(*list, list->items[i]), NameBytes::kUtf8);
  };
  auto find = [](const std::unordered_multimap<std::uint64_t, std::size_t>& keys,
                 const fs::path::string_type& key, auto path_of) {
    auto range = keys.equal_range(key_hash(key));
    for (auto it = range.first; it != range.second; ++it) {
      if (name_key(path_of(it->second)) == key) return it->second;
    }
    return std::string::npos;
  };
  for (std::size_t i = 0; i < list->items.size(); ++i) {
    const BatchItem& item = list->items[i];
    if (item.failure != 0) continue;
    model_keys.emplace(key_hash(name_key(model_path(i))), i);
    if (item.exists) models.insert({item.device, item.inode});
  }
  std::vector<BatchItem> kept;
  kept.reserve(list->items.size());
  for (std::size_t i = 0; i < list->items.size(); ++i) {
    BatchItem item = list->items[i];
    if (item.failure != 0) {
      kept.push_back(item);
      continue;
    }
    const std::string shown = model_name(*list, item);
    std::string obj;
    if (options.output) {
      obj = *options.output;
    } else if (options.output_dir) {
      fs::path relative = fs::u8path(shown.substr(shown.size() - item.relative_len));
      obj = joined(*options.output_dir, relative.replace_extension(".obj"));
    } else {
      obj = obj_name_for(shown);
    }
    item.obj = list->names.size();
    item.obj_len = static_cast<std::uint32_t>(obj.size());
    list->names += obj;
    list->items[i] = item;
    const fs::path obj_native = native_name(obj, NameBytes::kUtf8);
    const fs::path::string_type key = name_key(obj_native);
    auto refuse = [&](const std::string& why) {
      list->failures.push_back(why);
      item.failure = static_cast<std::uint32_t>(list->failures.size());
      kept.push_back(item);
    };
    const std::size_t owner = find(obj_keys, key, obj_path);
    if (owner != std::string::npos) {
      const BatchItem& first = list->items[owner];
      // The same model named again (a folder and one of its subfolders): it
      // is converted once, under its first name.
      if (item.exists && first.exists && item.device == first.device && item.inode == first.inode) {
        continue;
      }
      refuse("not converted: its OBJ " + obj + " is also that of " + model_name(*list, first));
      continue;
    }
    // An OBJ that is the model itself is the identity test's to refuse.
    FileLook look;
    int code = 0;
    const bool is_itself = item.exists && g_file_calls.look(obj_native, true, &look, &code) &&
                           look.kind == FileLook::kRegular && look.device == item.device &&
                           look.inode == item.inode;
    const std::size_t model = find(model_keys, key, model_path);
    if ((model != std::string::npos && model != i) ||
        (!is_itself && look.kind == FileLook::kRegular &&
         models.count({look.device, look.inode}))) {
      refuse("not converted: its OBJ " + obj + " is one of the models");
      continue;
    }
    obj_keys.emplace(key_hash(key), i);
    kept.push_back(item);
  }
  list->items.swap(kept);
}
