#include "gltf/glb_skin.h"

#include <algorithm>

#include "common/little_endian.h"

namespace {

constexpr std::size_t kGroupsOfAByte = 256;

bool joint_for(const GlbSkeleton& s, std::uint32_t id, std::uint32_t* joint) {
  auto at = std::lower_bound(s.joint_of.begin(), s.joint_of.end(), std::make_pair(id, 0u));
  if (at == s.joint_of.end() || at->first != id) return false;
  *joint = at->second;
  return true;
}

void add_node(GroupTable* t, const GlbSkeleton& s, std::uint32_t id) {
  while (t->group < t->sizes.size() && t->in_group >= t->sizes[t->group]) {
    ++t->group;
    t->in_group = 0;
  }
  if (t->group >= t->sizes.size()) return;
  ++t->in_group;
  std::uint32_t joint;
  if (!joint_for(s, id, &joint)) return;
  JointSlots& slots = t->slots[t->group];
  if (slots.nodes == 8) {
    t->many = true;
    return;
  }
  ++slots.nodes;
  for (int i = 0; i < slots.used; ++i) {
    if (slots.joint[i] == joint) {
      ++slots.share[i];
      return;
    }
  }
  slots.joint[slots.used] = joint;
  slots.share[slots.used] = 1;
  ++slots.used;
}

}  // namespace

void take_groups(GroupTable* table, const GlbSkeleton& skeleton, RecordKind kind,
                 const unsigned char* records, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t v = le_u32(records + 4 * i);
    if (kind == RecordKind::kGroupNode) {
      add_node(table, skeleton, v);
    } else if (table->sizes.size() < kGroupsOfAByte) {
      table->sizes.push_back(v);
      table->slots.emplace_back();
    }
  }
}

const JointSlots* slots_of(const GroupTable& table, std::uint32_t group) {
  if (group >= table.slots.size() || table.slots[group].nodes == 0) return nullptr;
  return &table.slots[group];
}

bool needs_eight(const GroupTable& table) {
  for (const JointSlots& s : table.slots) {
    if (s.used > 4) return true;
  }
  return false;
}

std::size_t skin_stride(bool wide, bool eight) {
  return (wide ? 8 + 16 : 4 + 16) * (eight ? 2 : 1);
}

void put_skin(unsigned char* out, const JointSlots* slots, std::uint32_t model_joint, bool wide,
              bool eight) {
  JointSlots alone;
  alone.joint[0] = model_joint;
  alone.share[0] = 1;
  alone.used = alone.nodes = 1;
  const JointSlots& s = slots ? *slots : alone;
  const int width = wide ? 2 : 1;
  for (int set = 0; set < (eight ? 2 : 1); ++set) {
    for (int k = 0; k < 4; ++k) {
      const int slot = 4 * set + k;
      const std::uint32_t joint = slot < s.used ? s.joint[slot] : 0;
      put_le(out + width * k, joint, width);
      const float weight =
          slot < s.used ? static_cast<float>(double(s.share[slot]) / s.nodes) : 0.0f;
      put_le_f32(out + 4 * width + 4 * k, weight);
    }
    out += 4 * width + 16;
  }
}
