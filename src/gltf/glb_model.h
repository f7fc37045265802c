// A GLB before its bytes: what a first pass over the model found (counts and
// bounds, which the JSON needs before the binary chunk is streamed), and the
// materials and images that go with it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/material_plan.h"

// One geoset as the first pass found it: 40 bytes, so that the model of the
// most geosets a file can hold keeps to a few MiB.
struct GlbGeoset {
  std::uint32_t vertices = 0;
  std::uint32_t triangles = 0;  // those kept: each index below the geoset's vertex count
  std::uint32_t material = 0;   // from 1; 0 for none
  bool wide = false;            // a kept index is 65535, which 16-bit indices may not hold
  float min[3] = {0, 0, 0};     // of the positions as written
  float max[3] = {0, 0, 0};
};

inline bool has_mesh(const GlbGeoset& g) { return g.vertices > 0 && g.triangles > 0; }

// What the model held that a GLB cannot: each a warning, once a model.
struct GlbFaults {
  bool dropped_triangles = false;
  bool non_finite = false;
  bool bad_normals = false;
  bool counts_differ = false;  // normals or texture coordinates, from the vertices
};

struct GlbScan {
  std::deque<GlbGeoset> geosets;  // the whole ones, in the model's order; no copy as it grows
  GlbFaults faults;
};

struct GlbImage {
  std::string name;  // the texture's path, as the model names it
  std::string mime;  // "image/png" or "image/jpeg"
  std::vector<unsigned char> bytes;
};

struct GlbContent {
  std::string generator;  // "mdx2obj VERSION"
  std::vector<PlannedMaterial> materials;
  std::vector<std::int32_t> image_of;  // each texture of the model: its image, or -1
  std::vector<GlbImage> images;
};

// The warnings of the faults, as the model's lines give them.
std::vector<std::string> glb_warnings(const GlbFaults& faults);
