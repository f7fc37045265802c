// The model's skeleton as a GLB carries it: its nodes as joints under a node
// named after the model, their rest in the GLB's axes, and an animation per
// sequence and per global sequence that a track plays on.
#pragma once

#include <string>
#include <vector>

#include "common/skeleton.h"
#include "gltf/glb_model.h"

// What the skeleton holds that a GLB cannot, each a warning once a model.
struct GlbSkeletonFaults {
  bool no_parent = false;      // a parent id that names no node
  bool parent_loop = false;    // nodes each other's parents
  bool backwards = false;      // a sequence that ends before it starts
  bool too_many_keys = false;  // animations past the keys a GLB takes here
};

// The joints and animations; positions and translations scaled by `scale`;
// with `bake`, curves sampled that many times a second.
GlbSkeleton glb_skeleton(const ModelSkeleton& model, const std::string& model_name, double scale,
                         unsigned bake, GlbSkeletonFaults* faults);

std::vector<std::string> glb_skeleton_warnings(const GlbSkeletonFaults& faults);

// The animations of the skeleton's tracks (glb_animation.cpp).
void add_animations(const ModelSkeleton& model, double scale, unsigned bake, GlbSkeleton* skeleton,
                    GlbSkeletonFaults* faults);
