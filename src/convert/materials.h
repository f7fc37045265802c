// A model's materials beside its OBJ: the images of its textures, made where
// the OBJ files go, and the MTL that maps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mdx/chunk_walk.h"
#include "obj/mtl_text.h"
#include "texture/texture_store.h"

// Where a run's textures are looked for and where their images go.
struct TextureSettings {
  std::vector<std::filesystem::path> search;  // --textures, after the model's own folders
  bool under_root = false;                    // -d: every image under `root`, one for the tree
  std::filesystem::path root;
  std::string root_shown;
  TextureStore* store = nullptr;  // the run's; none: the model's images are its own
};

// Per material, as --json tells it.
struct MaterialFacts {
  std::string texture;  // the image mapped, relative to the MTL; "" for none
  std::uint32_t filter_mode = 0;
  bool two_sided = false;
};

// What a model's materials came to.
struct MaterialsMade {
  std::vector<MtlMaterial> mtl;  // material_1 ... material_N, as MTLS orders them
  std::vector<MaterialFacts> facts;
  std::vector<std::string> images;                 // the images made or shared, as shown
  std::vector<std::filesystem::path> image_files;  // and as the file system knows them
  std::vector<std::string> warnings;               // "texture T: not found", ...
  std::string failed_name;                         // an image that could not be written, and why
  std::string why;
  bool file_system_fault = false;
  bool stopped = false;  // interrupted while waiting for another job's image
};

// A model's textures (the job's `order` in the run) made into images, and
// its materials mapped to them. `model` and `obj` are the names as the file
// system knows them; `obj_shown`, as the user named the OBJ.
void make_materials(const TextureSettings& settings, std::size_t order, const ModelChunks& chunks,
                    const std::filesystem::path& model, const std::filesystem::path& obj,
                    const std::string& obj_shown, MaterialsMade* made);

// The MTL text of the materials, and of "none" where a geoset used it.
std::string mtl_file_text(const MaterialsMade& made, bool none_used);
