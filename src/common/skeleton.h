// A model's skeleton and sequences as its node chunks give them: the nodes
// (bones, helpers, attachments) with their tracks, the pivots, the sequences
// on the model's one timeline and the global sequences' durations.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One key of a track: its time (ms), its value and, for Hermite and Bezier
// tracks, its tangents; of a vector, the first three numbers.
struct TrackKey {
  std::int32_t time = 0;
  float value[4] = {0, 0, 0, 0};
  float in[4] = {0, 0, 0, 0};
  float out[4] = {0, 0, 0, 0};
};

enum class Interpolation : std::uint8_t { kNone = 0, kLinear = 1, kHermite = 2, kBezier = 3 };

enum TrackPath : int { kTranslation = 0, kRotation = 1, kScale = 2, kPaths = 3 };

// A track as the rules take it: its keys sorted by time, one a time, each
// finite and, of a rotation, of unit length.
struct NodeTrack {
  Interpolation interpolation = Interpolation::kNone;
  std::int32_t global_sequence = -1;  // -1: plays on the model's timeline
  std::vector<TrackKey> keys;         // none: the node has no such track
};

constexpr std::uint32_t kNoParent = 0xFFFFFFFFu;

struct SkeletonNode {
  std::string name;
  std::uint32_t object_id = 0;
  std::uint32_t parent_id = kNoParent;
  NodeTrack tracks[kPaths];
};

struct ModelSequence {
  std::string name;
  std::uint32_t start = 0, end = 0;  // ms
  float move_speed = 0;
  bool looping = true;
  float rarity = 0;
};

// What a file holds that the rules do not take, each told once a model.
struct SkeletonFaults {
  bool unfit = false;  // a node chunk out of its layout, or another version
  bool keys_out_of_order = false;
  bool bad_keys = false;  // not finite, or a rotation of length 0
  bool no_global_sequence = false;
  bool bad_interpolation = false;
  std::string unfit_why;  // where the layout broke
};

struct ModelSkeleton {
  std::vector<SkeletonNode> nodes;           // BONE, HELP and ATCH entries, in file order
  std::vector<std::array<float, 3>> pivots;  // by object id
  std::vector<ModelSequence> sequences;
  std::vector<std::uint32_t> global_sequences;  // durations, ms
  SkeletonFaults faults;
};
