// The chunk walk: the model read as its chunks lay it out (a tag, the size of
// the body, the body), beside the tag walk that finds the geometry. It gives
// what the geometry needs no search for: the version, the materials, the
// textures, which material each geoset uses, and whether the file holds all
// that its chunks say it does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mdx/model_source.h"

struct MaterialLayer {
  std::uint32_t filter_mode = 0;  // 0 none, 1 transparent, 2 blend, 3 additive, ...
  std::uint32_t shading = 0;      // 0x1 unshaded, 0x10 two-sided
  std::uint32_t texture_id = 0;   // the texture, indexing ModelChunks::textures
};

// A material's layers: [first_layer, first_layer + layer_count) of the
// model's layers.
struct ModelMaterial {
  std::uint32_t first_layer = 0;
  std::uint32_t layer_count = 0;
};

struct ModelTexture {
  std::uint32_t replaceable_id = 0;  // 0: a file; 1 team colour, 2 team glow, ...
  std::string path;                  // as stored: "\" between folders
};

// A block of a GEOS entry: where its records begin and how many it holds.
struct EntryBlock {
  std::uint64_t at = 0;
  std::uint32_t count = 0;
};

// One GEOS entry: the bytes it spans, the material it names and its vertex
// groups: each vertex's group (GNDX, a byte each), the nodes in each group
// (MTGC) and their object ids, one group after another (MATS).
struct GeosetEntry {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  std::uint32_t material_id = 0;
  EntryBlock vertex_groups, group_sizes, group_nodes;
};

// A chunk's body in the file, for a reader of its own.
struct ChunkSpan {
  char tag[4] = {0, 0, 0, 0};
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

constexpr std::uint32_t kNoMaterial = 0xFFFFFFFFu;
constexpr std::uint32_t kClassicVersion = 800;

struct ModelChunks {
  bool chunked = false;  // the file begins "MDLX"
  std::uint32_t version = 0;
  std::vector<ModelMaterial> materials;
  std::vector<MaterialLayer> layers;
  std::vector<ModelTexture> textures;
  std::vector<GeosetEntry> geosets;
  std::vector<ChunkSpan> nodes;  // BONE, HELP, ATCH, PIVT, SEQS and GLBS, in file order
  // Where a chunk runs past the end of the file: why, without a file name.
  std::string cut;
  // Where a material, texture or geoset entry does not fit the layout of its
  // version: why; the model then has no materials.
  std::string unfit;
};

// Reads the chunks from the start of the file; false only where the file
// could not be read (*err says why). A cut or an unfit layout is no failure
// of the walk: they are in `chunks`.
bool walk_chunks(ModelSource& src, ModelChunks* chunks, std::string* err);

// The GEOS entry holding the "VRTX" tag at `vertex_tag`; null for none.
const GeosetEntry* entry_at(const ModelChunks& chunks, std::uint64_t vertex_tag);

// The material (from 0) of the geoset whose "VRTX" tag lies at `vertex_tag`:
// that of the GEOS entry holding it; kNoMaterial outside every entry or where
// the entry names no material of MTLS.
std::uint32_t material_at(const ModelChunks& chunks, std::uint64_t vertex_tag);
