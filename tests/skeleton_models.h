// A skeleton that walks, for the tests, the fuzzer's seeds and the pictures:
// bones, a helper and an attachment in a hierarchy, every interpolation, a
// global sequence, keys out of order and sharing a time, a missing parent,
// and a geoset of groups of 1 to 9 nodes.
#pragma once

#include "model_builder.h"

inline KeyData key(std::int32_t time, std::vector<float> value, std::vector<float> in = {},
                   std::vector<float> out = {}) {
  return KeyData{time, std::move(value), std::move(in), std::move(out)};
}

// Bones, a helper and an attachment in a hierarchy, every interpolation, a
// global sequence, keys out of order and sharing a time, a missing parent.
inline SkeletonData walking_skeleton() {
  SkeletonData s;
  s.pivots = {{0.5f, 0, 0}, {0, 1, 2}, {1, -1, 3}, {0, 0, 4}, {-1, 2, 0}};
  NodeData root{"BONE", "root", 0, 0xFFFFFFFFu, {}};
  root.tracks.push_back(
      {"KGTR", 1, -1, {key(0, {0, 0, 0}), key(500, {1, 0, 0}), key(1000, {1, 2, 0})}});
  root.tracks.push_back({"KGSC",
                         3,
                         -1,
                         {key(200, {1, 1, 1}, {1, 1, 1}, {1.2f, 1, 1}),
                          key(800, {2, 1, 1}, {1.5f, 1, 1}, {2, 1, 1})}});
  NodeData arm{"BONE", "arm", 1, 0, {}};
  arm.tracks.push_back({"KGRT",
                        1,
                        -1,
                        {key(1000, {0, 0, 0.7071f, 0.7071f}), key(0, {0, 0, 0, 1}),
                         key(500, {0.5f, 0, 0, 0.866f}), key(500, {0, -0.7654f, 0, -1.8478f})}});
  NodeData hand{"HELP", "hand", 2, 1, {}};
  hand.tracks.push_back(
      {"KGTR",
       2,
       -1,
       {key(100, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}), key(900, {0, 1, 0}, {0, 2, 0}, {0, 0, 0})}});
  hand.tracks.push_back(
      {"KGRT",
       3,
       -1,
       {key(0, {0, 0, 0, 1}, {0, 0, 0, 1}, {0.1f, 0, 0, 1}),
        key(1000, {0.7654f, 0, 0, 1.8478f}, {0.6f, 0, 0, 1.9f}, {0.6f, 0, 0, 1.9f})}});
  NodeData tip{"ATCH", "tip", 3, 2, {}};
  tip.tracks.push_back(
      {"KGTR", 0, -1, {key(0, {0, 0, 0}), key(400, {0, 0, 1}), key(600, {0, 0, 2})}});
  NodeData orphan{"BONE", "orphan", 4, 99, {}};
  orphan.tracks.push_back(
      {"KGRT", 1, 0, {key(0, {0, 0, 0, 1}), key(700, {0, 0, 0.7071f, 0.7071f})}});
  s.nodes = {root, arm, hand, tip, orphan};
  s.sequences = {{"Stand", 0, 1000, 0, 0, 0},
                 {"Walk", 200, 800, 270, 1, 0.5f},
                 {"Still", 5000, 6000, 0, 0, 0},
                 {"Backwards", 300, 200, 0, 0, 0}};
  s.globals = {700};
  return s;
}

inline GeosetData skinned_geoset() {
  GeosetData g = make_geoset(12, 10);  // every vertex in a triangle, as importers keep them
  g.vertex_groups = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1, 2};
  // Groups of 1 to 9 nodes, a node listed twice, one that names none.
  g.groups = {{0}, {1}, {0, 1}, {2, 2, 1}, {3}, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 0, 1, 2, 3}, {99}};
  return g;
}
