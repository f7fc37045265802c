// A vertex's joints and weights from its group: the group's nodes that name
// a joint, the first 8 of them, each weighing 1/n, a node listed twice in one
// slot with both weights.
#pragma once

#include <cstdint>
#include <vector>

#include "common/record_sink.h"
#include "gltf/glb_model.h"

struct JointSlots {
  std::uint32_t joint[8] = {};
  std::uint8_t share[8] = {};  // the group's nodes on each slot
  std::uint8_t used = 0;       // slots
  std::uint8_t nodes = 0;      // nodes taken, at most 8: each weighs 1/nodes
};

// The groups of one geoset as its records arrive: their sizes, then their
// nodes, group after group. Only the first 256 can be a vertex's.
struct GroupTable {
  std::vector<std::uint32_t> sizes;
  std::vector<JointSlots> slots;
  std::size_t group = 0;
  std::uint32_t in_group = 0;
  bool many = false;  // a group of more than 8 nodes that name joints
};

void take_groups(GroupTable* table, const GlbSkeleton& skeleton, RecordKind kind,
                 const unsigned char* records, std::uint32_t count);

// The slots of a vertex of group `group`; null where the group is missing or
// names no joint.
const JointSlots* slots_of(const GroupTable& table, std::uint32_t group);

// Whether a group has more than 4 slots.
bool needs_eight(const GroupTable& table);

// The bytes of a vertex's skin data: JOINTS_0 and WEIGHTS_0, then with
// `eight` JOINTS_1 and WEIGHTS_1, joints as bytes or with `wide` shorts.
std::size_t skin_stride(bool wide, bool eight);

// Writes them for `slots`, or for the model node (`model_joint`) alone.
void put_skin(unsigned char* out, const JointSlots* slots, std::uint32_t model_joint, bool wide,
              bool eight);

// More than 256 joints (the model node among them): joints as shorts.
inline bool wide_joints(const GlbSkeleton& s) { return s.joints.size() + 1 > 256; }
