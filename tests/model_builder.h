// Writes MDX models in code: the geoset blocks the converter reads, inside the
// chunks a real model carries around them, so that a test states its model in
// a few lines and knows where every tag landed.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/types.h"

struct ByteWriter {
  std::string bytes;

  std::size_t size() const { return bytes.size(); }
  void tag(const char* t) { bytes.append(t, 4); }
  void u8(std::uint8_t v) { bytes.push_back(static_cast<char>(v)); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void f32(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    u32(bits);
  }
  void zeros(std::size_t n) { bytes.append(n, '\0'); }
  void text(const std::string& s, std::size_t width) {
    std::string padded = s;
    padded.resize(width, '\0');
    bytes += padded;
  }
  // Patches a little-endian count written earlier.
  void patch_u32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
  }
};

struct GeosetData {
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
  std::vector<std::uint16_t> indices;
  std::vector<TexCoord> tex_coords;
  bool has_index_block = true;
  int tex_blocks = 1;  // 0: none of its own; 2: a second set of coordinates
};

// Where the tags of one geoset were written.
struct GeosetOffsets {
  std::uint64_t vertex_tag = 0;
  std::uint64_t index_tag = 0;
  std::uint64_t tex_tag = 0;
  std::uint64_t second_tex_tag = 0;
};

inline void write_geoset(ByteWriter& w, const GeosetData& g, GeosetOffsets* at) {
  std::size_t size_at = w.size();
  w.u32(0);
  at->vertex_tag = w.size();
  w.tag("VRTX");
  w.u32(static_cast<std::uint32_t>(g.vertices.size()));
  for (const Vec3& p : g.vertices) w.f32(p.x), w.f32(p.y), w.f32(p.z);
  w.tag("NRMS");
  w.u32(static_cast<std::uint32_t>(g.normals.size()));
  for (const Vec3& n : g.normals) w.f32(n.x), w.f32(n.y), w.f32(n.z);
  if (g.has_index_block) {
    w.tag("PTYP");
    w.u32(1);
    w.u32(4);
    w.tag("PCNT");
    w.u32(1);
    w.u32(static_cast<std::uint32_t>(g.indices.size()));
    at->index_tag = w.size();
    w.tag("PVTX");
    w.u32(static_cast<std::uint32_t>(g.indices.size()));
    for (std::uint16_t i : g.indices) w.u16(i);
  }
  w.tag("GNDX");
  w.u32(static_cast<std::uint32_t>(g.vertices.size()));
  w.zeros(g.vertices.size());
  w.tag("MTGC");
  w.u32(1);
  w.u32(1);
  w.tag("MATS");
  w.u32(1);
  w.u32(0);
  w.u32(0);  // material
  w.u32(0);  // selection group
  w.u32(0);  // selection flags
  w.f32(2.0f);
  w.zeros(24);  // bounds
  w.u32(0);     // no extents
  if (g.tex_blocks > 0) {
    w.tag("UVAS");
    w.u32(static_cast<std::uint32_t>(g.tex_blocks));
    for (int b = 0; b < g.tex_blocks; ++b) {
      (b == 0 ? at->tex_tag : at->second_tex_tag) = w.size();
      w.tag("UVBS");
      w.u32(static_cast<std::uint32_t>(g.tex_coords.size()));
      for (const TexCoord& t : g.tex_coords) w.f32(b == 0 ? t.u : t.u + 0.5f), w.f32(t.v);
    }
  }
  w.patch_u32(size_at, static_cast<std::uint32_t>(w.size() - size_at));
}

inline void write_chunk_header(ByteWriter& w, const char* tag, std::uint32_t size) {
  w.tag(tag);
  w.u32(size);
}

// A whole model: header chunks, the geoset chunk, and chunks after it.
inline std::string build_model(const std::vector<GeosetData>& geosets,
                               std::vector<GeosetOffsets>* offsets = nullptr) {
  ByteWriter w;
  w.tag("MDLX");
  write_chunk_header(w, "VERS", 4);
  w.u32(800);
  write_chunk_header(w, "MODL", 372);
  w.text("test model", 80);
  w.text("", 260);
  w.f32(2.0f);
  w.zeros(24);
  w.u32(150);
  write_chunk_header(w, "TEXS", 268);
  w.u32(0);
  w.text("textures/skin.tga", 260);
  w.u32(0);
  w.tag("GEOS");
  std::size_t geos_size_at = w.size();
  w.u32(0);
  std::vector<GeosetOffsets> at(geosets.size());
  for (std::size_t i = 0; i < geosets.size(); ++i) write_geoset(w, geosets[i], &at[i]);
  w.patch_u32(geos_size_at, static_cast<std::uint32_t>(w.size() - geos_size_at - 4));
  write_chunk_header(w, "BONE", 8);
  w.u32(1);
  w.u32(7);
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
  for (int f = 0; f < faces; ++f) {
    int span = n > 2 ? n - 2 : 1;
    g.indices.push_back(0);
    g.indices.push_back(static_cast<std::uint16_t>(1 + f % span));
    g.indices.push_back(static_cast<std::uint16_t>(2 + f % span));
  }
  return g;
}
