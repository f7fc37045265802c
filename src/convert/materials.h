// A model's materials beside its OBJ: its textures found, their images made
// where their sources say, and the MTL that maps them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/material_plan.h"
#include "common/settings.h"
#include "mdx/chunk_walk.h"
#include "texture/texture_find.h"
#include "texture/texture_make.h"
#include "texture/texture_place.h"
#include "texture/texture_store.h"

// What the models of a run share for their textures: the folders searched
// and the images made.
struct RunTextures {
  std::vector<std::filesystem::path> search;  // --textures, after the model's own folders
  const RunFolders* run_folders = nullptr;    // the run's, where its images are placed
  TextureStore* store = nullptr;              // the run's; none: the model's images are its own
  TextureLookup* lookup = nullptr;            // the run's; none: the model's lookups are its own
  const MadeImages* made = nullptr;           // with -u: the images earlier runs made
};

// Per material, as --json tells it.
struct MaterialFacts {
  std::string texture;  // the image mapped, relative to the MTL; "" for none
  std::uint32_t filter_mode = 0;
  bool two_sided = false;
};

// What the lookup of one texture found and what became of its image, as the
// ledger of reruns keeps it.
struct TextureFound {
  std::string relative;          // the texture's path, as texture_path gives it
  std::filesystem::path source;  // absolute; empty where none was found
  FileLook source_look;
  std::filesystem::path image;   // as the file system knows it; empty where none was made
  std::uint64_t image_size = 0;  // also of an image embedded in the file, which has no path
};

// One texture of the model that a material maps, on its way to an image.
struct TextureWanted {
  std::uint32_t texture_id = 0;
  std::string relative;  // as texture_path gives it
  TextureSource source;
  ImagePlace place;
  ImageKey key;
  Claim claim = Claim::kMine;
  TextureResult result;
  std::string warning;  // why it has no image, found before any claim
};

// What a model's materials came to.
struct MaterialsMade {
  std::vector<TextureWanted> wanted;  // while the model converts
  std::vector<PlannedMaterial> plan;  // each material, as MTLS orders them
  std::vector<std::string> maps;      // each texture's image, from the MTL's folder; "" for none
  std::vector<MaterialFacts> facts;
  std::vector<std::string> images;                 // the images made or shared, as shown
  std::vector<std::filesystem::path> image_files;  // and as the file system knows them
  std::vector<TextureFound> textures;              // each texture looked up, in the model's order
  std::vector<std::string> warnings;               // "texture T: not found", ...
  Failure failure;                                 // an image that could not be written
  bool stopped = false;  // interrupted while waiting for another job's image
};

// Before the OBJ: the model's textures (the job's `order` in the run) found,
// their images claimed in the run's order and those that are this model's to
// make made. `own` is the model's run folder (null: none).
void begin_materials(const Settings& settings, const RunTextures& run, std::size_t order,
                     const ModelChunks& chunks, const std::filesystem::path& model,
                     const std::string& obj_shown, const RunFolder* own, MaterialsMade* made);

// Once the OBJ is written: the images other jobs make waited for, and the
// materials mapped to them from the MTL's folder.
void end_materials(const RunTextures& run, const ModelChunks& chunks,
                   const std::filesystem::path& obj, MaterialsMade* made);

// A texture as a GLB embeds it.
struct EmbeddedImage {
  std::uint32_t texture_id = 0;
  std::string name;  // its path as the model names it
  std::string mime;
  std::vector<unsigned char> bytes;
};

// For a file that embeds its images (a GLB): the materials planned, the
// model's textures found and read into `images`, nothing written beside it;
// `made` tells the textures, the warnings and the materials as for an MTL,
// each material's texture by its path in the model.
void embed_materials(const Settings& settings, const RunTextures& run, const ModelChunks& chunks,
                     const std::filesystem::path& model, MaterialsMade* made,
                     std::vector<EmbeddedImage>* images);

// How each material looks, by its layers.
std::vector<PlannedMaterial> plan_materials(const ModelChunks& chunks);
