// The text of OBJ records, made from runs of records as the model stores them.
#pragma once

#include <cstddef>
#include <cstdint>

enum class RecordKind : unsigned char {
  kVertex,    // three floats: "v x y z"
  kNormal,    // three floats: "vn x y z"
  kTexCoord,  // two floats: "vt u 1-v", as OBJ counts v from the bottom of the image
  kFace,      // three 16-bit vertex numbers of a geoset: "f a/a/a b/b/b c/c/c"
  kObject,    // no bytes: "o geoset_N", so that OBJ readers import each geoset apart
};

// The bytes of one record of `kind` in the model.
std::size_t record_size(RecordKind kind);

// Records of one kind, little-endian as the model stores them. A face's
// numbers count from `base`, the geoset's first vertex across all geosets
// (from 0), and are written from 1, as position, texture coordinate and
// normal reference alike. An object run is one record, of number `base`.
struct RecordRun {
  RecordKind kind = RecordKind::kVertex;
  std::uint32_t count = 0;
  std::uint64_t base = 0;
  const unsigned char* bytes = nullptr;
};

// Where positions and normals are written: with `y_up` as (x, z, -y) of the
// model's (x, y, z), so that the model stands in a Y-up reader; positions
// multiplied by `scale` in double precision and rounded to the nearest float.
struct Placement {
  bool y_up = false;
  double scale = 1.0;
};

// Room for the longest record: a face of three 20-digit numbers written three
// times each, or three numbers of the largest float.
constexpr std::size_t kMaxRecord = 256;

// Text space [at, end). Before each record, `more` is called if less than
// kMaxRecord bytes remain, and leaves at least that many.
struct TextSpace {
  char* at = nullptr;
  char* end = nullptr;
  void (*more)(TextSpace*) = nullptr;
};

// Writes the text of the run's records into the space.
void format_run(const RecordRun& run, const Placement& place, TextSpace* text);

// The text of one record of `kind` as most models make it (numbers below
// 1000), and at most for faces; runs are cut into chunks of about equal text
// by it.
std::size_t estimated_text(RecordKind kind, std::uint64_t base);
