// Runs the chunk walk and the skeleton walk on arbitrary bytes, then makes the
// GLB's joints and animations of what was read. The first byte picks the
// window size; the rest is the model. What must hold: every track kept is
// sorted with one key a time, finite, its rotations of unit length; every
// channel's times rise from 0 and its values are one a key (three a key of a
// cubic one); every joint's parent is a joint before the model node.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_model.h"
#include "gltf/glb_skeleton.h"
#include "mdx/skeleton_walk.h"

namespace {

void check_track(const NodeTrack& t, int path) {
  for (std::size_t k = 0; k < t.keys.size(); ++k) {
    const TrackKey& key = t.keys[k];
    require(k == 0 || t.keys[k - 1].time < key.time, "keys out of order");
    double square = 0;
    for (int c = 0; c < track_width(path); ++c) {
      require(std::isfinite(key.value[c]), "a key not finite");
      square += double(key.value[c]) * key.value[c];
    }
    require(path != kRotation || std::fabs(square - 1) < 1e-5, "a rotation not of unit length");
  }
}

void check_animations(const GlbSkeleton& s) {
  for (const GlbJoint& j : s.joints) {
    require(j.parent < std::int32_t(s.joints.size()), "a parent past the joints");
  }
  for (const GlbAnimation& a : s.animations) {
    require(!a.channels.empty(), "an animation without channels");
    for (const GlbChannel& c : a.channels) {
      require(!c.times.empty() && c.times[0] == 0, "a channel that does not begin at 0");
      for (std::size_t k = 1; k < c.times.size(); ++k) {
        require(c.times[k - 1] < c.times[k], "times that do not rise");
      }
      const std::size_t width = c.path == kRotation ? 4 : 3;
      const std::size_t per = std::string(c.interpolation) == "CUBICSPLINE" ? 3 : 1;
      require(c.values.size() == c.times.size() * width * per, "values not one a key");
      require(c.node <= s.joints.size(), "a channel of no node");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzModel model;
  open_fuzz_model(data, size, &model);
  ModelSkeleton skeleton;
  std::string err;
  require(walk_skeleton(model.src, model.chunks, &skeleton, &err),
          "the skeleton walk failed on bytes in memory");
  require(!skeleton.faults.unfit || skeleton.nodes.empty(), "an unfit skeleton kept its nodes");
  for (const SkeletonNode& n : skeleton.nodes) {
    for (int path = 0; path < kPaths; ++path) check_track(n.tracks[path], path);
  }
  GlbSkeletonFaults faults;
  check_animations(glb_skeleton(skeleton, "model", 1.0, data[0] % 3 ? 0 : 30, &faults));
  return 0;
}
