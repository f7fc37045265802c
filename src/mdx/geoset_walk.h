// The geoset walk: finds every geoset of the model by its block tags and hands
// its records to a record sink (the OBJ writer, which the walk does not
// know). Written once as a template over its source (any type that offers
// source_size, tell, seek_to, skip_bytes, read_bytes, view_bytes, io_failed
// and find_tag as ModelSource does), so that the windowed reader can be
// checked against a plain positioned-read one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>

#include "common/little_endian.h"
#include "common/record_sink.h"
#include "common/types.h"
#include "mdx/chunk_walk.h"
#include "mdx/model_source.h"

// The records the walk handed on, for the command line's summary.
struct WalkCounts {
  std::uint64_t geosets = 0;
  std::uint64_t vertices = 0;
  std::uint64_t triangles = 0;
};

// Converts every geoset of the model into records for `sink` and prints the
// progress lines on `console`. False where the walk stopped early: the model
// ends inside a value or could not be read (*err says why, without a file
// name), or the sink failed (its own reason is the sink's to give). With the
// model's chunks, each geoset's faces are preceded by the material of the
// GEOS entry its "VRTX" tag lies in.
bool convert_geosets(ModelSource& src, RecordSink& sink, std::ostream& console, std::string* err,
                     WalkCounts* counts = nullptr, const ModelChunks* chunks = nullptr);

namespace walk_detail {

template <class Source>
bool read_u32(Source& src, std::uint32_t* value) {
  unsigned char b[4];
  if (!read_bytes(src, b, sizeof b)) return false;
  *value = le_u32(b);
  return true;
}

// Reads `count` records of `size` bytes in blocks and hands each block to
// `use` (the records and their count); false at the first record that the
// file does not hold in full, with the source standing at it and every whole
// record before it handed over.
template <class Source, class Use>
bool read_records(Source& src, std::uint32_t count, std::size_t size, Use use) {
  unsigned char block[4080];  // a whole number of records of 12, 8 and 6 bytes
  for (std::uint32_t left = count; left > 0;) {
    const std::uint64_t end = source_size(src), at = tell(src);
    const std::uint64_t fit = at < end ? (end - at) / size : 0;
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::uint64_t>({left, sizeof block / size, fit}));
    if (n == 0) return false;
    const unsigned char* records = view_bytes(src, n * size);
    if (records == nullptr) {
      if (!read_bytes(src, block, n * size)) return false;
      records = block;
    }
    use(records, n);
    left -= n;
  }
  return true;
}

template <class Source>
bool input_failed(const Source& src, const char* what, std::string* err) {
  std::string at = std::to_string(tell(src));
  if (io_failed(src)) {
    *err = "read failed near offset " + at;
  } else {
    *err = std::string("file ends inside the ") + what + " at offset " + at;
  }
  return false;
}

// With the model's chunks, a geoset's faces are told their material first.
inline void use_material_of(RecordSink& sink, const ModelChunks* chunks, std::uint64_t vertex_tag) {
  if (!chunks) return;
  const std::uint32_t material = material_at(*chunks, vertex_tag);
  sink.use_material(material == kNoMaterial ? 0 : std::uint64_t(material) + 1);
}

// With the model's chunks, a sink that wants them is handed the vertex
// groups of the GEOS entry the geoset's "VRTX" lies in: the groups' sizes,
// their nodes and each vertex's group. False where the file could not be read.
template <class Source>
bool hand_groups(Source& src, RecordSink& sink, const ModelChunks* chunks,
                 std::uint64_t vertex_tag) {
  const GeosetEntry* entry =
      chunks && sink.wants_groups() ? entry_at(*chunks, vertex_tag) : nullptr;
  if (!entry) return true;
  const struct {
    RecordKind kind;
    const EntryBlock& block;
  } blocks[] = {{RecordKind::kGroupSize, entry->group_sizes},
                {RecordKind::kGroupNode, entry->group_nodes},
                {RecordKind::kVertexGroup, entry->vertex_groups}};
  for (const auto& b : blocks) {
    seek_to(src, b.block.at);
    if (!read_records(src, b.block.count, record_size(b.kind),
                      [&](const unsigned char* records, std::uint32_t n) {
                        sink.write_records(b.kind, records, n, 0);
                      })) {
      return false;
    }
  }
  return true;
}

// A geoset's index block, where the source stands: its faces, told their
// material first, then (for a sink that wants them) its vertex groups; false
// where the walk ends here.
template <class Source>
bool walk_faces(Source& src, RecordSink& sink, std::ostream& console, std::string* err,
                WalkCounts* counts, const ModelChunks* chunks, std::uint64_t vertex_tag,
                std::uint64_t vertex_base) {
  std::uint32_t index_count;
  if (!read_u32(src, &index_count)) return input_failed(src, "index count", err);
  console << "Faces: " << index_count << std::endl;
  console << static_cast<long long>(tell(src)) << std::endl;
  if (index_count >= 3) use_material_of(sink, chunks, vertex_tag);
  if (!read_records(src, index_count / 3, 6, [&](const unsigned char* b, std::uint32_t n) {
        sink.write_records(RecordKind::kFace, b, n, vertex_base);
        counts->triangles += n;
      })) {
    return input_failed(src, "indices", err);
  }
  if (sink.failed()) return false;
  if (!hand_groups(src, sink, chunks, vertex_tag)) return input_failed(src, "vertex groups", err);
  return !sink.failed();
}

// A search that found nothing ends the walk; it is a failure only when the
// file could not be read to its end.
template <class Source>
bool walk_over(const Source& src, const RecordSink& sink, std::string* err) {
  if (io_failed(src)) return input_failed(src, "model", err);
  return !sink.failed();
}

}  // namespace walk_detail

template <class Source>
bool walk_geosets(Source& src, RecordSink& sink, std::ostream& console, std::string* err,
                  WalkCounts* counts, const ModelChunks* chunks = nullptr) {
  using namespace walk_detail;
  const std::uint64_t file_size = source_size(src);
  std::uint64_t scan_pos = 0;
  std::uint64_t vertex_base = 0;

  while (scan_pos < file_size) {
    std::uint64_t vertex_tag;
    if (!find_tag(src, kVertexTag, scan_pos, &vertex_tag)) break;
    console << "Geoset Found!\n";
    ++counts->geosets;
    sink.begin_object(counts->geosets);

    std::uint32_t vertex_count;
    if (!read_u32(src, &vertex_count)) return input_failed(src, "vertex count", err);
    console << "Vertices: " << vertex_count << std::endl;
    if (!read_records(src, vertex_count, 12, [&](const unsigned char* b, std::uint32_t n) {
          sink.write_records(RecordKind::kVertex, b, n, 0);
          counts->vertices += n;
        })) {
      return input_failed(src, "vertex positions", err);
    }
    if (sink.failed()) return false;

    // The normal block's own tag is passed over unread.
    skip_bytes(src, 4);
    std::uint32_t normal_count;
    if (!read_u32(src, &normal_count)) return input_failed(src, "normal count", err);
    console << "Normals: " << normal_count << std::endl;
    if (!read_records(src, normal_count, 12, [&](const unsigned char* b, std::uint32_t n) {
          sink.write_records(RecordKind::kNormal, b, n, 0);
        })) {
      return input_failed(src, "normals", err);
    }
    if (sink.failed()) return false;

    // Without an index block there are no faces to write, and no texture
    // block could be told apart from a later geoset's: the walk ends here.
    std::uint64_t index_tag;
    if (!find_tag(src, kIndexTag, tell(src), &index_tag)) break;
    const std::uint64_t index_block_pos = index_tag + 4;

    std::uint64_t tex_tag;
    if (find_tag(src, kTexCoordTag, index_block_pos, &tex_tag)) {
      std::uint32_t tex_count;
      if (!read_u32(src, &tex_count)) return input_failed(src, "texture coordinate count", err);
      console << "TVerts: " << tex_count << std::endl;
      console << static_cast<long long>(tell(src)) << std::endl;
      if (!read_records(src, tex_count, 8, [&](const unsigned char* b, std::uint32_t n) {
            sink.write_records(RecordKind::kTexCoord, b, n, 0);
          })) {
        return input_failed(src, "texture coordinates", err);
      }
      if (sink.failed()) return false;
      scan_pos = tex_tag;
    } else {
      if (io_failed(src)) return input_failed(src, "model", err);
      scan_pos = file_size;
    }

    seek_to(src, index_block_pos);
    if (!walk_faces(src, sink, console, err, counts, chunks, vertex_tag, vertex_base)) {
      return false;
    }
    vertex_base += vertex_count;
    scan_pos += 1;
  }
  return walk_over(src, sink, err);
}
