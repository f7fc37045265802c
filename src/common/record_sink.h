// Where a model reader hands the records it reads: the one meeting point of
// the reader and a writer, so that neither knows the other.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RecordKind : unsigned char {
  kVertex,    // three floats: a position
  kNormal,    // three floats
  kTexCoord,  // two floats, u and v
  kFace,      // three 16-bit vertex numbers of a geoset
  kObject,    // no bytes: a geoset begins, numbered from 1
  kMaterial,  // no bytes: the geoset's faces use material N (from 1; 0 for none)
  // A geoset's vertex groups, after its faces, for a sink that wants them:
  kGroupSize,    // a 32-bit count: the nodes of one group
  kGroupNode,    // a 32-bit object id: a node of a group, group after group
  kVertexGroup,  // a byte: a vertex's group
};

// The bytes of one record of `kind` in the model.
inline std::size_t record_size(RecordKind kind) {
  switch (kind) {
    case RecordKind::kVertex:
    case RecordKind::kNormal:
      return 12;
    case RecordKind::kTexCoord:
      return 8;
    case RecordKind::kFace:
      return 6;
    case RecordKind::kGroupSize:
    case RecordKind::kGroupNode:
      return 4;
    case RecordKind::kVertexGroup:
      return 1;
    case RecordKind::kObject:
    case RecordKind::kMaterial:
      break;
  }
  return 0;
}

// Takes records as the model stores them, little-endian, a block at a time.
// Once it has failed (a write, an interruption) it takes nothing more, and a
// reader stops at the next block.
struct RecordSink {
  // `count` records of `kind`. A face's numbers count from `base`, the
  // geoset's first vertex across all geosets (from 0).
  virtual void write_records(RecordKind kind, const unsigned char* records, std::uint32_t count,
                             std::uint64_t base) = 0;
  // Geoset `number` (from 1) begins.
  virtual void begin_object(std::uint64_t number) = 0;
  // The faces that follow use material `number` (from 1; 0 for none).
  virtual void use_material(std::uint64_t number) = 0;
  virtual bool failed() const = 0;
  // Whether the sink takes each geoset's vertex groups (where the model's
  // chunks give them).
  virtual bool wants_groups() const { return false; }

 protected:
  ~RecordSink() = default;
};
