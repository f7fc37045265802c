// Where a model's texture is: its path (as TEXS stores it, "\" between
// folders) under the model's folder, under each folder above it, then under
// each folder the user named. Extracted game data mixes letter case, even
// within one tree ("Textures" and "textures" side by side), so each part of
// the path matches exactly first, then ignoring case, and every name that
// matches is tried in that order until the whole path is found.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "texture/texture_make.h"

// The texture's path with "/" between folders, and without a root, a drive
// or "..": it names a place under a folder, and a PNG's place under the
// output.
std::string texture_path(const std::string& stored);

// The folders a run's lookups have read, each once a run: a tree of models
// whose textures are missing asks every folder above each model for them,
// for every texture of every model. Shared by the run's jobs.
struct TextureLookup {
  struct Name {
    std::string name;
    signed char folder = -1;  // a folder itself, not a link to one; -1 until looked at
    signed char file = -1;    // a regular file or a link to one; -1 until looked at
  };
  std::filesystem::path cwd;  // relative names are taken from it: asked once a run
  std::mutex mutex;
  // By folder (absolute, as the file system spells it): its names sorted as
  // they match, ignoring ASCII case, then byte for byte.
  std::unordered_map<std::filesystem::path::string_type, std::unique_ptr<std::vector<Name>>>
      folders;
  std::size_t listings_read = 0;
  // The textures found, each looked at once: many models share one.
  std::unordered_map<std::filesystem::path::string_type, TextureSource> sources;
};

// A lookup of a run whose current folder is `cwd`.
void start_lookup(TextureLookup* lookup, const std::filesystem::path& cwd);

// Finds `relative` (from texture_path) under `folder` (absolute): each folder
// part must be a folder itself, not a link to one (so that a search never
// leaves the tree nor goes round a loop); the last part is a regular file or
// a link to one.
bool find_under(TextureLookup* lookup, const std::filesystem::path& folder,
                const std::string& relative, std::filesystem::path* found);

// The search of a model's texture, in order: the model's folder and each
// folder above it, up to `top` (a data root) where one is given, else to the
// root of its absolute path; then `extra`. `found` is absolute.
bool find_texture(TextureLookup* lookup, const std::filesystem::path& model,
                  const std::filesystem::path& top, const std::vector<std::filesystem::path>& extra,
                  const std::string& relative, std::filesystem::path* found);

// look_at_texture of a texture found, once a run.
bool look_at_found(TextureLookup* lookup, const std::filesystem::path& found,
                   TextureSource* source);
