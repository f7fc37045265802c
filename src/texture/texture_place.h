// Where a texture's image goes. Where its source lies decides, not which
// search found it: a source in a folder of the run (or below one) has its
// image beside it, or under -d at its mirrored place, as a model's OBJ has;
// any other source (above the run's folders, under --textures), and every
// source with -o, has its image under the OBJ's folder or the -d folder at
// the path the model names it by. So a tree converted in place gets one image
// a source, and nothing is written where the user did not ask to write.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/settings.h"
#include "texture/texture_make.h"

// A folder of the run: a PATH walked with -r, or the folder of a model named
// or listed.
struct RunFolder {
  std::filesystem::path path;  // absolute, without "." and ".."
  std::string shown;           // as its models' names begin: "art/", "" for the current folder
  std::string mirror;          // its place under -d: "", "units/"
};

struct RunFolders {
  std::filesystem::path cwd;  // asked once for the run
  std::vector<RunFolder> all;
  std::unordered_map<std::filesystem::path::string_type, std::size_t> by_key;
};

// Adds the folder whose models' names begin with `shown` (and their OBJ
// files' names under -d with `mirror`); the first of a folder counts. Returns
// its index.
std::size_t add_run_folder(RunFolders* folders, const std::string& shown,
                           const std::string& mirror);

struct ImagePlace {
  std::filesystem::path file;  // as the file system knows it
  std::string shown;           // as messages show it
};

// The image of the texture of `kind` found at `source` (absolute) for a
// model of the run folder `own` (null: none) of `folders` whose OBJ is shown
// as `obj_shown`; `relative` is the texture's path as the model names it.
// Beside the source within its run folder, unless -o names the OBJ; under -d
// where it is given.
ImagePlace place_image(const Settings& settings, const RunFolders* folders, const RunFolder* own,
                       const std::filesystem::path& source, TextureKind kind,
                       const std::string& relative, const std::string& obj_shown);

// The path of `file` from `folder` (both as the file system knows them), "/"
// between folders and ".." where it must: what an MTL maps.
std::string path_from(const std::filesystem::path& file, const std::filesystem::path& folder,
                      const std::filesystem::path& cwd);
