#include <algorithm>
#include <cctype>
#include <map>
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

std::string joined(const std::string& folder, const fs::path& relative) {
  if (relative.empty()) return folder;
  return shown_name((fs::u8path(folder) / relative).u8string());
}

// Adds an entry to the run, its name to the run's one buffer of names.
BatchItem& add_item(BatchList* list, const std::string& name, std::size_t relative_len,
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
  return list->items.back();
}

void identify(BatchItem* item, const FileLook& look) {
  if (look.kind != FileLook::kRegular) return;
  item->bytes = look.size;
  item->device = look.device;
  item->inode = look.inode;
  item->modified = look.modified;
  item->exists = true;
}

// A path of a list keeps its whole path under -d where it stays inside it:
// relative, without "..".
bool keeps_its_path(const fs::path& path) {
  if (path.is_absolute() || path.has_root_name() || path.has_root_directory()) return false;
  for (const fs::path& part : path) {
    if (part == "..") return false;
  }
  return true;
}

// One PATH's walk: the folder as named, where its entries go, and the
// progress told now and then (not for every name: the walk of a large tree
// must not wait for a terminal).
struct Walk {
  const std::string& path;
  const fs::path& root;
  BatchList* list;
  const FindProgress& progress;
  std::size_t looked = 0;
};

void add_found(Walk* walk, const fs::path& relative, const std::string& failure, bool model) {
  add_item(walk->list, joined(walk->path, relative), relative.u8string().size(), failure, model)
      .found = true;
}

// Every model under root/relative. Links to folders are not followed, so that
// no link makes a loop; links to files are. A name that cannot be used is
// told: a link that leads nowhere, an entry gone before it was looked at.
void find_models(Walk* walk, const fs::path& relative) {
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(walk->root / relative, &names, &code)) {
    // Told, but no model.
    add_found(walk, relative, "cannot read folder: " + reason(code), false);
    return;
  }
  for (const std::string& file : names) {
    if (interrupted()) return;
    if (walk->progress && ++walk->looked % 64 == 1) walk->progress(walk->list->items.size());
    const fs::path name = relative / fs::u8path(file);
    FileLook entry, target;
    if (!g_file_calls.look(walk->root / name, false, &entry, &code)) {
      if (has_model_extension(name)) add_found(walk, name, "cannot open: " + reason(code), true);
      continue;
    }
    if (entry.kind == FileLook::kFolder) {
      find_models(walk, name);
      continue;
    }
    if (!has_model_extension(name)) continue;
    std::string failure;
    if (entry.kind == FileLook::kMissing) {
      failure = "vanished while its folder was read";
    } else if (!g_file_calls.look(walk->root / name, true, &target, &code)) {
      failure = "cannot open: " + reason(code);
    } else if (target.kind == FileLook::kMissing) {
      failure = "cannot open: it is a link to a file that does not exist";
    } else if (target.kind == FileLook::kFolder) {
      continue;  // a link to a folder, which is not followed
    } else if (target.kind != FileLook::kRegular) {
      failure = "cannot open: not a regular file";
    }
    add_found(walk, name, failure, true);
    if (failure.empty()) identify(&walk->list->items.back(), target);
  }
}

// The run's order under a folder: the paths under it byte for byte, with "/"
// between folders on every system.
bool found_before(const BatchList& list, const BatchItem& a, const BatchItem& b) {
  const char* x = list.names.data() + a.name + (a.name_len - a.relative_len);
  const char* y = list.names.data() + b.name + (b.name_len - b.relative_len);
  for (std::size_t i = 0; i < a.relative_len && i < b.relative_len; ++i) {
    unsigned char cx = static_cast<unsigned char>(x[i] == '\\' ? '/' : x[i]);
    unsigned char cy = static_cast<unsigned char>(y[i] == '\\' ? '/' : y[i]);
    if (cx != cy) return cx < cy;
  }
  return a.relative_len < b.relative_len;
}

// A hash of the key by which names compare (or of a file's identity), with
// the entry it came from: sixteen bytes a model; the names themselves are
// compared only where two hashes meet.
using Keys = std::vector<std::pair<std::uint64_t, std::size_t>>;

std::uint64_t identity_hash(std::uint64_t device, std::uint64_t inode) {
  return (device * 1099511628211ull) ^ (inode + 0x9e3779b97f4a7c15ull);
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
                         const FindProgress& progress, const std::vector<std::string>& listed) {
  BatchList list;
  for (std::size_t k = 0; k < paths.size() + listed.size(); ++k) {
    const bool on_list = k >= paths.size();
    const std::string& path = on_list ? listed[k - paths.size()] : paths[k];
    fs::path native = native_name(path, NameBytes::kUtf8);
    FileLook look;
    int code = 0;
    bool folder = !path.empty() && !holds_nul(native) &&
                  g_file_calls.look(native, true, &look, &code) && look.kind == FileLook::kFolder;
    if (!folder) {
      const std::string shown = shown_name(path);
      const bool whole = on_list && keeps_its_path(native);
      identify(&add_item(&list, shown, whole ? shown.size() : native.filename().u8string().size(),
                         "", true),
               look);
      continue;
    }
    if (!options.recursive) {
      add_item(&list, shown_name(path), 0, "is a folder (-r converts the models in it)", false);
      continue;
    }
    const std::size_t first = list.items.size();
    Walk walk{path, native, &list, progress};
    find_models(&walk, fs::path());
    std::sort(list.items.begin() + static_cast<std::ptrdiff_t>(first), list.items.end(),
              [&](const BatchItem& a, const BatchItem& b) { return found_before(list, a, b); });
    if (list.items.size() == first) add_item(&list, shown_name(path), 0, "no models found", false);
  }
  return list;
}

std::string shard_path(const BatchList& list, const BatchItem& item) {
  std::string path = model_name(list, item);
  if (item.found) path = path.substr(path.size() - item.relative_len);
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

void keep_shard(BatchList* list, const BatchOptions& options) {
  if (options.shards == 0) return;
  std::size_t kept = 0;
  for (const BatchItem& item : list->items) {
    bool mine = options.shard == 1;
    if (item.model) {
      mine = fnv1a(shard_path(*list, item)) % options.shards == options.shard - 1;
    }
    if (mine) list->items[kept++] = item;
  }
  list->items.resize(kept);
}

void name_obj_files(BatchList* list, const BatchOptions& options) {
  std::vector<BatchItem>& items = list->items;
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  auto key_of = [&](const fs::path& path) { return name_key(path, cwd); };
  const std::size_t n = items.size();
  auto path_of = [&](std::size_t at, std::uint32_t len) {
    return native_name(list->names.substr(at, len), NameBytes::kUtf8);
  };
  // Every OBJ name first, so that each model can be checked against all.
  for (BatchItem& item : items) {
    if (item.failure != 0) continue;
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
  }
  Keys objs, models, identities;
  for (std::size_t i = 0; i < n; ++i) {
    const BatchItem& item = items[i];
    if (item.failure != 0) continue;
    objs.push_back({fnv1a(key_of(path_of(item.obj, item.obj_len))), i});
    models.push_back({fnv1a(key_of(path_of(item.name, item.name_len))), i});
    if (item.exists) identities.push_back({identity_hash(item.device, item.inode), i});
  }
  for (Keys* keys : {&objs, &models, &identities}) std::sort(keys->begin(), keys->end());
  auto with_hash = [](const Keys& keys, std::uint64_t hash) {
    return std::equal_range(keys.begin(), keys.end(), std::make_pair(hash, std::size_t(0)),
                            [](const auto& a, const auto& b) { return a.first < b.first; });
  };
  // In the run's order: an OBJ already claimed by an earlier model is that
  // model's; an OBJ that is, or leads to, a model is refused.
  std::vector<char> claims(n, 0), dropped(n, 0);
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> existing;  // OBJ files there
  auto refuse = [&](BatchItem* item, const std::string& why) {
    list->failures.push_back("not converted: its OBJ " + obj_name(*list, *item) + why);
    item->failure = static_cast<std::uint32_t>(list->failures.size());
  };
  for (std::size_t i = 0; i < n; ++i) {
    BatchItem& item = items[i];
    if (item.failure != 0) continue;
    const fs::path obj = path_of(item.obj, item.obj_len);
    const fs::path::string_type key = key_of(obj);
    const std::uint64_t hash = fnv1a(key);
    std::size_t owner = n;
    for (auto range = with_hash(objs, hash); range.first != range.second; ++range.first) {
      const std::size_t j = range.first->second;
      if (j < i && j < owner && claims[j] &&
          key_of(path_of(items[j].obj, items[j].obj_len)) == key) {
        owner = j;
      }
    }
    if (owner < n) {
      const BatchItem& first = items[owner];
      // The same model named again (a folder and one of its subfolders): it
      // is converted once, under its first name.
      if (item.exists && first.exists && item.device == first.device && item.inode == first.inode) {
        dropped[i] = 1;
      } else {
        refuse(&item, " is also that of " + model_name(*list, first));
      }
      continue;
    }
    // An OBJ that is the model itself is the identity test's to refuse.
    bool leads_to_model = false;
    const bool own_name = key == key_of(path_of(item.name, item.name_len));
    for (auto range = with_hash(models, hash); !own_name && range.first != range.second;
         ++range.first) {
      const std::size_t j = range.first->second;
      leads_to_model =
          leads_to_model || (j != i && key_of(path_of(items[j].name, items[j].name_len)) == key);
    }
    FileLook look;
    int code = 0;
    if (!leads_to_model && g_file_calls.look(obj, true, &look, &code) &&
        look.kind == FileLook::kRegular) {
      const std::uint64_t id = identity_hash(look.device, look.inode);
      for (auto range = with_hash(identities, id); range.first != range.second; ++range.first) {
        const BatchItem& model = items[range.first->second];
        leads_to_model =
            leads_to_model ||
            (range.first->second != i && model.device == look.device && model.inode == look.inode &&
             !(item.device == look.device && item.inode == look.inode));
      }
    }
    if (leads_to_model) {
      refuse(&item, " is one of the models");
      continue;
    }
    // Two names of one existing file (links to it): the later model would
    // write over the earlier one's OBJ.
    if (look.kind == FileLook::kRegular) {
      auto first = existing.emplace(std::make_pair(look.device, look.inode), i);
      if (!first.second) {
        refuse(&item, " is also that of " + model_name(*list, items[first.first->second]));
        continue;
      }
    }
    claims[i] = 1;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!dropped[i]) items[kept++] = items[i];
  }
  items.resize(kept);
}
