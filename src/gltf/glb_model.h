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
  bool eight_joints = false;    // a group of more than 4 joints: JOINTS_1 and WEIGHTS_1 too
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
  bool many_joints = false;    // a group of more than 8 nodes
  bool unskinned = false;      // a vertex whose group is missing or names no node
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

// A node of the skeleton, as the GLB holds it: its parent (a joint, or -1
// for the model node) and its translation at rest, in the GLB's axes.
struct GlbJoint {
  std::string name;
  std::int32_t parent = -1;
  float rest[3] = {0, 0, 0};
  float pivot[3] = {0, 0, 0};  // where it stands at rest, for its inverse bind matrix
};

// One channel: a node's path over the animation's keys. Cubic outputs hold
// in-tangent, value and out-tangent for each key.
struct GlbChannel {
  std::uint32_t node = 0;  // a joint, or the model node (the joints' count)
  int path = 0;            // 0 translation, 1 rotation, 2 scale
  const char* interpolation = "LINEAR";
  std::vector<float> times;
  std::vector<float> values;
};

struct GlbAnimation {
  std::string name;
  bool global = false;  // a global sequence's, which loops on its own clock
  bool looping = true;
  float move_speed = 0, rarity = 0;
  std::vector<GlbChannel> channels;
};

// The model's skeleton as a skin: the joints in file order, then one node
// named after the model, the skin's root; which joint each object id is
// (the first node of an id), by id.
struct GlbSkeleton {
  std::vector<GlbJoint> joints;
  std::string model_name;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> joint_of;
  std::vector<GlbAnimation> animations;
};

inline bool has_skin(const GlbSkeleton& s) { return !s.joints.empty(); }

struct GlbContent {
  std::string generator;  // "mdx2obj VERSION"
  GlbSkeleton skeleton;
  std::vector<PlannedMaterial> materials;
  std::vector<std::int32_t> image_of;  // each texture of the model: its image, or -1
  std::vector<GlbImage> images;
};

// Adds the faults `more` found to `into`.
void add_faults(GlbFaults* into, const GlbFaults& more);

// The warnings of the faults, as the model's lines give them.
std::vector<std::string> glb_warnings(const GlbFaults& faults);
