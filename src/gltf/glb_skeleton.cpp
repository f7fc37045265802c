#include "gltf/glb_skeleton.h"

#include <algorithm>

#include "common/model_float.h"

namespace {

// A pivot in the GLB's axes, as a position is written: (x, z, -y) times the
// scale.
void glb_pivot(const ModelSkeleton& model, std::uint32_t object_id, double scale, float out[3]) {
  float p[3] = {0, 0, 0};
  if (object_id < model.pivots.size())
    std::copy(model.pivots[object_id].begin(), model.pivots[object_id].end(), p);
  if (scale != 1.0) {
    for (float& v : p) v = scaled(v, scale);
  }
  out[0] = p[0];
  out[1] = p[2];
  out[2] = negated(p[1]);
}

// The nodes on a loop of parents: those that walking up from comes back to.
// Each node is walked once, the walk stopping at nodes already walked, so
// that a chain of 65,536 nodes is not walked up once from each of them.
std::vector<bool> loops_of(const std::vector<std::int32_t>& parent) {
  const std::size_t n = parent.size();
  std::vector<bool> on_loop(n, false);
  std::vector<std::uint8_t> state(n, 0);  // 0 not walked, 1 on this walk, 2 walked
  std::vector<std::int32_t> walk;
  for (std::size_t i = 0; i < n; ++i) {
    walk.clear();
    std::int32_t at = static_cast<std::int32_t>(i);
    for (; at >= 0 && state[std::size_t(at)] == 0; at = parent[std::size_t(at)]) {
      state[std::size_t(at)] = 1;
      walk.push_back(at);
    }
    // Back at a node of this walk: the nodes from it round to it are a loop.
    for (std::int32_t k = at; k >= 0 && state[std::size_t(k)] == 1 && !on_loop[std::size_t(k)];
         k = parent[std::size_t(k)])
      on_loop[std::size_t(k)] = true;
    for (std::int32_t k : walk) state[std::size_t(k)] = 2;
  }
  return on_loop;
}

// Each node's parent: the first node of its parent id, or -1 (the model
// node) where none is, or where the node lies on a loop of parents.
std::vector<std::int32_t> parents_of(const GlbSkeleton& s, const ModelSkeleton& model,
                                     GlbSkeletonFaults* faults) {
  const std::size_t n = model.nodes.size();
  std::vector<std::int32_t> parent(n, -1);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t id = model.nodes[i].parent_id;
    if (id == kNoParent) continue;
    auto at = std::lower_bound(s.joint_of.begin(), s.joint_of.end(), std::make_pair(id, 0u));
    if (at == s.joint_of.end() || at->first != id) {
      faults->no_parent = true;
      continue;
    }
    parent[i] = static_cast<std::int32_t>(at->second);
  }
  const std::vector<bool> on_loop = loops_of(parent);
  for (std::size_t i = 0; i < n; ++i) {
    if (on_loop[i]) parent[i] = -1, faults->parent_loop = true;
  }
  return parent;
}

}  // namespace

GlbSkeleton glb_skeleton(const ModelSkeleton& model, const std::string& model_name, double scale,
                         unsigned bake, GlbSkeletonFaults* faults) {
  GlbSkeleton s;
  s.model_name = model_name;
  if (model.nodes.empty()) return s;
  for (std::size_t i = 0; i < model.nodes.size(); ++i) {
    s.joint_of.emplace_back(model.nodes[i].object_id, static_cast<std::uint32_t>(i));
  }
  // Of two nodes with one object id, the first counts.
  std::stable_sort(s.joint_of.begin(), s.joint_of.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  s.joint_of.erase(std::unique(s.joint_of.begin(), s.joint_of.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   s.joint_of.end());
  const std::vector<std::int32_t> parent = parents_of(s, model, faults);
  s.joints.resize(model.nodes.size());
  for (std::size_t i = 0; i < model.nodes.size(); ++i) {
    GlbJoint& j = s.joints[i];
    j.name = model.nodes[i].name;
    j.parent = parent[i];
    glb_pivot(model, model.nodes[i].object_id, scale, j.pivot);
  }
  for (GlbJoint& j : s.joints) {
    const float* from = j.parent >= 0 ? s.joints[std::size_t(j.parent)].pivot : nullptr;
    for (int k = 0; k < 3; ++k) {
      j.rest[k] = static_cast<float>(double(j.pivot[k]) - (from ? double(from[k]) : 0.0));
    }
  }
  add_animations(model, scale, bake, &s, faults);
  return s;
}

std::vector<std::string> glb_skeleton_warnings(const GlbSkeletonFaults& faults) {
  std::vector<std::string> out;
  if (faults.no_parent) out.push_back("nodes whose parent names no node put under the model");
  if (faults.parent_loop) out.push_back("nodes on a loop of parents put under the model");
  if (faults.backwards) out.push_back("sequences that end before they start taken as of length 0");
  if (faults.too_many_keys)
    out.push_back("animations past " + std::string("the keys a GLB takes here dropped"));
  return out;
}
