// Writes MDX models in code: the geoset blocks the converter reads, inside the
// chunks a real model carries around them, so that a test states its model in
// a few lines and knows where every tag landed.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/types.h"

struct Vec3 {
  float x, y, z;
};

struct TexCoord {
  float u, v;
};

struct ByteWriter {
  std::string bytes;

  std::size_t size() const { return bytes.size(); }
  void little_endian(std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
  }
  void u16(std::uint16_t v) { little_endian(v, 2); }
  void u32(std::uint32_t v) { little_endian(v, 4); }
  void f32(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    u32(bits);
  }
  // A tag and the 32-bit numbers that follow it.
  void tag(const char* t, std::initializer_list<std::uint32_t> values = {}) {
    bytes.append(t, 4);
    for (std::uint32_t v : values) u32(v);
  }
  void zeros(std::size_t n) { bytes.append(n, '\0'); }
  // The size of all that follows the 4 bytes at `at` (a chunk's), or with
  // them (an entry's inclusive size).
  void patch_size(std::size_t at, bool inclusive = false) {
    const std::size_t n = size() - at - (inclusive ? 0 : 4);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(n >> (8 * i));
  }
};

struct GeosetData {
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
  std::vector<std::uint16_t> indices;
  std::vector<TexCoord> tex_coords;
  bool has_index_block = true;
  int tex_blocks = 1;  // 0: none of its own; 2: a second set of coordinates
  std::uint32_t material = 0;
  // Each vertex's group and each group's object ids; without them, every
  // vertex is of one group of node 0.
  std::vector<std::uint8_t> vertex_groups;
  std::vector<std::vector<std::uint32_t>> groups;
};

// A skeleton: nodes with their tracks, pivots, sequences, global sequences.
struct KeyData {
  std::int32_t time = 0;
  std::vector<float> value, in, out;  // in and out only for Hermite and Bezier tracks
};

struct TrackData {
  const char* tag = "KGTR";  // KGTR, KGRT, KGSC
  std::uint32_t interpolation = 1;
  std::int32_t global = -1;
  std::vector<KeyData> keys;
  std::uint32_t claimed = 0;  // where set, the key count the track claims
};

struct NodeData {
  const char* chunk = "BONE";  // BONE, HELP, ATCH
  std::string name;
  std::uint32_t object_id = 0;
  std::uint32_t parent = 0xFFFFFFFFu;
  std::vector<TrackData> tracks;
};

struct SequenceData {
  std::string name;
  std::uint32_t start = 0, end = 0;
  float move_speed = 0;
  std::uint32_t flags = 0;
  float rarity = 0;
};

struct SkeletonData {
  std::vector<NodeData> nodes;
  std::vector<Vec3> pivots;
  std::vector<SequenceData> sequences;
  std::vector<std::uint32_t> globals;
};

// What a model says of its look: its materials (each a list of layers) and
// textures, in the chunks before its geosets.
struct LayerData {
  std::uint32_t filter_mode = 0;
  std::uint32_t shading = 0;
  std::uint32_t texture = 0;
};

struct TextureData {
  std::uint32_t replaceable_id = 0;
  std::string path;
};

struct ModelDress {
  std::uint32_t version = 800;
  std::vector<std::vector<LayerData>> materials;
  std::vector<TextureData> textures = {TextureData{}};
  SkeletonData skeleton;
};

// Where the tags of one geoset were written.
struct GeosetOffsets {
  std::uint64_t vertex_tag = 0;
  std::uint64_t index_tag = 0;
  std::uint64_t tex_tag = 0;
};

inline std::uint32_t count_of(std::size_t n) { return static_cast<std::uint32_t>(n); }

inline void write_geoset(ByteWriter& w, const GeosetData& g, GeosetOffsets* at,
                         std::uint32_t version = 800) {
  std::size_t size_at = w.size();
  w.u32(0);  // the geoset's size, counting these 4 bytes
  at->vertex_tag = w.size();
  w.tag("VRTX", {count_of(g.vertices.size())});
  for (const Vec3& p : g.vertices) w.f32(p.x), w.f32(p.y), w.f32(p.z);
  w.tag("NRMS", {count_of(g.normals.size())});
  for (const Vec3& n : g.normals) w.f32(n.x), w.f32(n.y), w.f32(n.z);
  if (g.has_index_block) {
    w.tag("PTYP", {1, 4});
    w.tag("PCNT", {1, count_of(g.indices.size())});
    at->index_tag = w.size();
    w.tag("PVTX", {count_of(g.indices.size())});
    for (std::uint16_t i : g.indices) w.u16(i);
  }
  if (g.groups.empty()) {
    w.tag("GNDX", {count_of(g.vertices.size())});
    w.zeros(g.vertices.size());
    w.tag("MTGC", {1, 1});
    w.tag("MATS", {1, 0});
  } else {
    w.tag("GNDX", {count_of(g.vertex_groups.size())});
    for (std::uint8_t v : g.vertex_groups) w.bytes.push_back(static_cast<char>(v));
    w.tag("MTGC", {count_of(g.groups.size())});
    std::uint32_t ids = 0;
    for (const auto& group : g.groups) w.u32(count_of(group.size())), ids += count_of(group.size());
    w.tag("MATS", {ids});
    for (const auto& group : g.groups) {
      for (std::uint32_t id : group) w.u32(id);
    }
  }
  // Material, selection group and flags, [level of detail and name], bounds
  // radius, bounds, no extents.
  w.u32(g.material), w.u32(0), w.u32(0);
  if (version >= 900) w.u32(0), w.zeros(80);
  w.u32(0x40000000u);
  w.zeros(28);
  if (g.tex_blocks > 0) {
    w.tag("UVAS", {static_cast<std::uint32_t>(g.tex_blocks)});
    for (int b = 0; b < g.tex_blocks; ++b) {
      if (b == 0) at->tex_tag = w.size();
      w.tag("UVBS", {count_of(g.tex_coords.size())});
      for (const TexCoord& t : g.tex_coords) w.f32(b == 0 ? t.u : t.u + 0.5f), w.f32(t.v);
    }
  }
  w.patch_size(size_at, true);
}

inline void write_track(ByteWriter& w, const TrackData& t) {
  w.tag(t.tag, {t.claimed ? t.claimed : count_of(t.keys.size()), t.interpolation,
                static_cast<std::uint32_t>(t.global)});
  for (const KeyData& k : t.keys) {
    w.u32(static_cast<std::uint32_t>(k.time));
    for (float v : k.value) w.f32(v);
    for (float v : k.in) w.f32(v);
    for (float v : k.out) w.f32(v);
  }
}

// Each node chunk of the skeleton, a node's entries in their own chunk.
inline void write_nodes(ByteWriter& w, const SkeletonData& s) {
  for (const char* chunk : {"BONE", "HELP", "ATCH"}) {
    std::size_t chunk_at = 0;
    for (const NodeData& n : s.nodes) {
      if (std::string(n.chunk) != chunk) continue;
      if (chunk_at == 0) w.tag(chunk, {0}), chunk_at = w.size() - 4;
      const std::size_t entry_at = w.size();
      if (std::string(chunk) == "ATCH") w.u32(0);
      const std::size_t node_at = w.size();
      w.u32(0);
      std::string name = n.name;
      name.resize(80, '\0');
      w.bytes += name;
      w.u32(n.object_id), w.u32(n.parent), w.u32(0);
      for (const TrackData& t : n.tracks) write_track(w, t);
      w.patch_size(node_at, true);
      if (std::string(chunk) == "BONE") w.u32(0xFFFFFFFFu), w.u32(0xFFFFFFFFu);
      if (std::string(chunk) == "ATCH") w.zeros(260), w.u32(0), w.patch_size(entry_at, true);
    }
    if (chunk_at) w.patch_size(chunk_at);
  }
  if (s.pivots.empty()) return;
  w.tag("PIVT", {count_of(12 * s.pivots.size())});
  for (const Vec3& p : s.pivots) w.f32(p.x), w.f32(p.y), w.f32(p.z);
}

inline void write_sequences(ByteWriter& w, const SkeletonData& s) {
  if (!s.sequences.empty()) w.tag("SEQS", {count_of(132 * s.sequences.size())});
  for (const SequenceData& q : s.sequences) {
    std::string name = q.name;
    name.resize(80, '\0');
    w.bytes += name;
    w.u32(q.start), w.u32(q.end), w.f32(q.move_speed), w.u32(q.flags), w.f32(q.rarity);
    w.zeros(4 + 28);  // sync point, extent
  }
  if (!s.globals.empty()) w.tag("GLBS", {count_of(4 * s.globals.size())});
  for (std::uint32_t d : s.globals) w.u32(d);
}

inline void write_materials(ByteWriter& w, const ModelDress& dress) {
  w.tag("MTLS", {0});
  const std::size_t chunk_at = w.size() - 4;
  for (const std::vector<LayerData>& layers : dress.materials) {
    const std::size_t material_at = w.size();
    w.u32(0);
    w.u32(0), w.u32(0);  // priority plane, flags
    if (dress.version >= 900) w.zeros(80);
    w.tag("LAYS", {static_cast<std::uint32_t>(layers.size())});
    for (const LayerData& l : layers) {
      // Filter, shading, texture, animation, coordinate set, alpha, and a
      // field the reader skips by the layer's size.
      w.u32(32), w.u32(l.filter_mode), w.u32(l.shading), w.u32(l.texture);
      w.u32(0xFFFFFFFFu), w.u32(0), w.f32(1.0f), w.u32(7);
    }
    w.patch_size(material_at, true);
  }
  w.patch_size(chunk_at);
}

inline void write_textures(ByteWriter& w, const ModelDress& dress) {
  w.tag("TEXS", {static_cast<std::uint32_t>(268 * dress.textures.size())});
  for (const TextureData& t : dress.textures) {
    w.u32(t.replaceable_id);
    std::string path = t.path;
    path.resize(260, '\0');
    w.bytes += path;
    w.u32(0);
  }
}

// A whole model: header chunks, the geoset chunk, and a chunk after it.
inline std::string build_model(const std::vector<GeosetData>& geosets,
                               std::vector<GeosetOffsets>* offsets = nullptr,
                               const ModelDress& dress = ModelDress()) {
  ByteWriter w;
  w.tag("MDLX");
  w.tag("VERS", {4, dress.version});
  w.tag("MODL", {372});  // name, animation file, bounds, blend time
  w.zeros(372);
  write_sequences(w, dress.skeleton);
  if (!dress.materials.empty()) write_materials(w, dress);
  write_textures(w, dress);
  w.tag("GEOS", {0});
  std::size_t geos_size_at = w.size() - 4;
  std::vector<GeosetOffsets> at(geosets.size());
  for (std::size_t i = 0; i < geosets.size(); ++i) {
    write_geoset(w, geosets[i], &at[i], dress.version);
  }
  w.patch_size(geos_size_at);
  write_nodes(w, dress.skeleton);
  w.tag("CAMS", {8, 1, 7});  // a chunk the converter passes over
  if (offsets) *offsets = at;
  return std::move(w.bytes);
}

// A geoset of n vertices whose numbers print short: positions, normals and
// texture coordinates are multiples of 1/4, and `faces` triangles fan out
// over its vertices.
inline GeosetData make_geoset(int n, int faces, float base = 0.0f) {
  GeosetData g;
  for (int i = 0; i < n; ++i) {
    float f = base + 0.25f * static_cast<float>(i);
    g.vertices.push_back({f, -f, 1.5f});
    g.normals.push_back({0.0f, 0.5f, -1.0f});
    g.tex_coords.push_back({0.25f * static_cast<float>(i % 4), 0.75f});
  }
  int span = n > 2 ? n - 2 : 1;
  for (int f = 0; f < faces; ++f) {
    for (int k : {0, 1 + f % span, 2 + f % span})
      g.indices.push_back(static_cast<std::uint16_t>(k));
  }
  return g;
}
