// Where a model's texture is: its path (as TEXS stores it, "\" between
// folders) under the model's folder, under each folder above it, then under
// each folder the user named. Extracted game data mixes letter case, so each
// part of the path matches exactly first, else ignoring case.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The texture's path with "/" between folders, and without a root, a drive
// or "..": it names a place under a folder, and a PNG's place under the
// output.
std::string texture_path(const std::string& stored);

// Finds `relative` (from texture_path) under `folder`: each folder part must
// be a folder itself, not a link to one (so that a search never leaves the
// tree nor goes round a loop); the last part is a regular file or a link to
// one. A part that does not match exactly matches the first name in byte
// order that equals it ignoring ASCII case.
bool find_under(const std::filesystem::path& folder, const std::string& relative,
                std::filesystem::path* found);

// The search of a model's texture, in order: the model's folder and each
// folder above it to the root of its absolute path, then `extra`.
bool find_texture(const std::filesystem::path& model,
                  const std::vector<std::filesystem::path>& extra, const std::string& relative,
                  std::filesystem::path* found);
