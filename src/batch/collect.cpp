#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "batch/batch.h"
#include "common/file_identity.h"

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

// A model or an unreadable folder under the folder being walked.
struct Found {
  std::string key;  // its path under the folder, the run's order
  fs::path relative;
  std::string failure;
};

// Every model under root/relative. Links to folders are not followed, so that
// no link makes a loop; links to files are.
void find_models(const fs::path& root, const fs::path& relative, std::vector<Found>* found) {
  std::error_code ec;
  fs::directory_iterator it(root / relative, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    fs::path name = relative / it->path().filename();
    std::error_code status_ec;
    if (fs::is_directory(it->symlink_status(status_ec))) {
      find_models(root, name, found);
    } else if (has_model_extension(name) && fs::is_regular_file(it->status(status_ec))) {
      found->push_back({name.generic_u8string(), name, ""});
    }
  }
  if (ec) {
    found->push_back(
        {relative.generic_u8string(), relative, "cannot read folder: " + ec.message()});
  }
}

std::string joined(const std::string& folder, const fs::path& relative) {
  if (relative.empty()) return folder;
  return (fs::u8path(folder) / relative).u8string();
}

}  // namespace

std::vector<BatchItem> collect_models(const std::vector<std::string>& paths,
                                      const BatchOptions& options) {
  std::vector<BatchItem> items;
  for (const std::string& path : paths) {
    fs::path native = native_name(path, NameBytes::kUtf8);
    std::error_code ec;
    bool folder = !path.empty() && !holds_nul(native) && fs::is_directory(native, ec);
    if (!folder) {
      BatchItem item;
      item.model = {path, native};
      item.relative = native.filename().u8string();
      item.bytes = fs::file_size(native, ec);
      if (ec) item.bytes = 0;
      items.push_back(std::move(item));
      continue;
    }
    if (!options.recursive) {
      BatchItem item;
      item.model = {path, native};
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
      item.model = {path, native};
      item.failure = "no models found";
      items.push_back(std::move(item));
    }
    for (Found& f : found) {
      BatchItem item;
      item.model = {joined(path, f.relative), native / f.relative};
      item.from_folder = path;
      item.relative = f.key;
      item.failure = f.failure;
      if (item.failure.empty()) {
        std::error_code size_ec;
        item.bytes = fs::file_size(item.model.path, size_ec);
        if (size_ec) item.bytes = 0;
      }
      items.push_back(std::move(item));
    }
  }
  return items;
}

void name_obj_files(std::vector<BatchItem>* items, const BatchOptions& options) {
  std::set<fs::path::string_type> model_keys;
  for (const BatchItem& item : *items) {
    if (item.failure.empty()) model_keys.insert(name_key(item.model.path));
  }
  std::map<fs::path::string_type, const BatchItem*> obj_owner;
  for (BatchItem& item : *items) {
    if (!item.failure.empty()) continue;
    std::string obj;
    if (options.output) {
      obj = *options.output;
    } else if (options.output_dir) {
      fs::path relative = fs::u8path(item.relative).replace_extension(".obj");
      obj = joined(*options.output_dir, relative.make_preferred());
    } else {
      obj = obj_name_for(item.model.shown);
    }
    item.obj = {obj, native_name(obj, NameBytes::kUtf8)};
    fs::path::string_type key = name_key(item.obj.path);
    // An OBJ that is the model itself is the identity test's to refuse.
    if (key != name_key(item.model.path) && model_keys.count(key)) {
      item.failure = "not converted: its OBJ " + obj + " is one of the models";
      continue;
    }
    auto owner = obj_owner.emplace(key, &item);
    if (!owner.second) {
      item.failure =
          "not converted: its OBJ " + obj + " is also that of " + owner.first->second->model.shown;
    }
  }
}
