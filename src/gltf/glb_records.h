// The GLB's two passes over the model's records, as the geoset walk hands
// them: the first counts and bounds them for the JSON, the second streams the
// geometry of the binary chunk, so that the model is never held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "common/block_writer.h"
#include "common/record_sink.h"
#include "gltf/glb_model.h"
#include "gltf/glb_skin.h"

struct GlbScanSink : RecordSink {
  double scale = 1.0;
  const GlbSkeleton* skeleton = nullptr;  // with joints: the geosets' groups are read
  GlbScan scan;  // every geoset begun: where the walk failed, the last is not whole
  std::uint32_t normals = 0, tex_coords = 0;  // of the last geoset, as the file has them
  GroupTable groups;                          // of the last geoset
  bool any_groups = false;                    // a geoset has a group: the model has a skin

  void write_records(RecordKind kind, const unsigned char* records, std::uint32_t count,
                     std::uint64_t base) override;
  void begin_object(std::uint64_t number) override;
  void use_material(std::uint64_t number) override;
  bool failed() const override { return false; }
  bool wants_groups() const override { return skeleton && has_skin(*skeleton); }
};

// Ends the scan's last geoset, which the walk read whole: where its normals or
// texture coordinates are not one a vertex, a fault.
void end_geoset(GlbScanSink* sink);

// Where each geoset's data goes: its positions, normals, texture coordinates
// and indices, one after another, in the order the walk hands them.
enum class GlbStage : unsigned char { kPositions, kNormals, kTexCoords, kIndices, kSkin, kDone };

struct GlbDataSink : RecordSink {
  std::streambuf* out = nullptr;
  BlockWriter* writer = nullptr;  // where given, `out`'s writer on a thread of its own
  const GlbScan* scan = nullptr;
  const GlbSkeleton* skeleton = nullptr;  // with joints: each vertex's joints and weights
  double scale = 1.0;
  std::unique_ptr<unsigned char[]> buffer;  // filled, then handed on whole
  std::size_t used = 0;
  std::uint64_t written = 0;  // bytes handed to `out`
  std::string failure;
  // The geoset being written (from 1), where it has a mesh; what of it.
  std::uint64_t geoset = 0;
  const GlbGeoset* current = nullptr;
  GlbStage stage = GlbStage::kDone;
  std::uint32_t in_stage = 0;  // the records of the stage written
  GlbFaults faults;            // of the normals, texture coordinates and skin written
  GroupTable groups;           // of the geoset being written

  void write_records(RecordKind kind, const unsigned char* records, std::uint32_t count,
                     std::uint64_t base) override;
  void begin_object(std::uint64_t number) override;
  void use_material(std::uint64_t) override {}
  bool failed() const override { return !failure.empty(); }
  bool wants_groups() const override { return skeleton && has_skin(*skeleton); }
};

// The bytes of each vertex's joints and weights in a geoset's mesh; 0 without
// a skin.
std::size_t skin_bytes(const GlbSkeleton& skeleton, const GlbGeoset& g);

// The bytes of a geoset's mesh in the binary chunk, indices padded to 4, then
// its skin data where the skeleton has joints.
std::uint64_t mesh_bytes(const GlbGeoset& g, const GlbSkeleton& skeleton);

// The bytes of the buffer, handed on whole.
constexpr std::size_t kGlbDataBlock = std::size_t(1) << 20;

// Ends the last geoset and hands on what is buffered (and, with a writer,
// waits for it); false with the reason where a write failed.
bool close_glb_data(GlbDataSink* sink, std::string* err);
