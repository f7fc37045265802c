#include "gltf/glb_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/little_endian.h"
#include "common/model_float.h"

namespace {

constexpr std::size_t kDataBuffer = std::size_t(1) << 16;

// A position as glTF's Y up has it: as --up y --scale writes it, a coordinate
// that is not finite as 0.
bool position_at(const unsigned char* b, double scale, float p[3]) {
  float x = f32_at(b), y = f32_at(b + 4), z = f32_at(b + 8);
  if (scale != 1.0) {
    x = scaled(x, scale);
    y = scaled(y, scale);
    z = scaled(z, scale);
  }
  p[0] = x;
  p[1] = z;
  p[2] = negated(y);
  bool finite = true;
  for (int i = 0; i < 3; ++i) {
    if (!std::isfinite(p[i])) p[i] = 0, finite = false;
  }
  return finite;
}

// A normal turned as the positions are, of unit length; (0, 1, 0) where it
// has no direction.
void normal_at(const unsigned char* b, float n[3]) {
  const double x = f32_at(b), y = negated(f32_at(b + 4)), z = f32_at(b + 8);
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0) || !std::isfinite(length)) {
    n[0] = 0, n[1] = 1, n[2] = 0;
    return;
  }
  n[0] = static_cast<float>(x / length);
  n[1] = static_cast<float>(z / length);
  n[2] = static_cast<float>(y / length);
}

// As normal_at tells it, without making the normal.
bool has_direction(const unsigned char* b) {
  const double x = f32_at(b), y = f32_at(b + 4), z = f32_at(b + 8);
  const double square = x * x + y * y + z * z;
  return square > 0 && std::isfinite(square);
}

bool tex_coord_at(const unsigned char* b, float t[2]) {
  t[0] = f32_at(b);
  t[1] = f32_at(b + 4);
  bool finite = true;
  for (int i = 0; i < 2; ++i) {
    if (!std::isfinite(t[i])) t[i] = 0, finite = false;
  }
  return finite;
}

// The triangle's three indices, where each lies within the geoset.
bool triangle_at(const unsigned char* b, std::uint32_t vertices, std::uint32_t v[3]) {
  for (int i = 0; i < 3; ++i) {
    v[i] = le_u16(b + 2 * i);
    if (v[i] >= vertices) return false;
  }
  return true;
}

void scan_vertices(GlbScan* scan, const unsigned char* b, std::uint32_t n, double scale) {
  GlbGeoset& g = scan->geosets.back();
  for (std::uint32_t i = 0; i < n; ++i, b += 12) {
    float p[3];
    if (!position_at(b, scale, p)) scan->faults.non_finite = true;
    for (int k = 0; k < 3; ++k) {
      g.min[k] = g.vertices == 0 ? p[k] : std::min(g.min[k], p[k]);
      g.max[k] = g.vertices == 0 ? p[k] : std::max(g.max[k], p[k]);
    }
    ++g.vertices;
  }
}

}  // namespace

void GlbScanSink::write_records(RecordKind kind, const unsigned char* b, std::uint32_t n,
                                std::uint64_t) {
  if (scan.geosets.empty()) return;
  GlbGeoset& g = scan.geosets.back();
  GlbFaults& faults = scan.faults;
  float v[3];
  std::uint32_t t[3];
  switch (kind) {
    case RecordKind::kVertex:
      scan_vertices(&scan, b, n, scale);
      break;
    case RecordKind::kNormal:
      for (std::uint32_t i = 0; i < n; ++i, ++normals) {
        if (normals < g.vertices && !has_direction(b + 12 * i)) faults.bad_normals = true;
      }
      break;
    case RecordKind::kTexCoord:
      for (std::uint32_t i = 0; i < n; ++i, ++tex_coords) {
        if (tex_coords < g.vertices && !tex_coord_at(b + 8 * i, v)) faults.non_finite = true;
      }
      break;
    case RecordKind::kFace:
      for (std::uint32_t i = 0; i < n; ++i) {
        if (!triangle_at(b + 6 * i, g.vertices, t)) {
          faults.dropped_triangles = true;
          continue;
        }
        ++g.triangles;
        g.wide = g.wide || t[0] == 0xFFFF || t[1] == 0xFFFF || t[2] == 0xFFFF;
      }
      break;
    default:
      break;
  }
}

void GlbScanSink::begin_object(std::uint64_t) {
  if (!scan.geosets.empty()) end_geoset(this);
  scan.geosets.emplace_back();
  normals = tex_coords = 0;
}

void GlbScanSink::use_material(std::uint64_t number) {
  if (!scan.geosets.empty()) scan.geosets.back().material = static_cast<std::uint32_t>(number);
}

void end_geoset(GlbScanSink* sink) {
  const GlbGeoset& g = sink->scan.geosets.back();
  if (has_mesh(g) && (sink->normals != g.vertices || sink->tex_coords != g.vertices)) {
    sink->scan.faults.counts_differ = true;
  }
}

std::uint64_t mesh_bytes(const GlbGeoset& g) {
  const std::uint64_t indices = std::uint64_t(g.triangles) * 3 * (g.wide ? 4 : 2);
  return std::uint64_t(g.vertices) * 32 + (indices + 3) / 4 * 4;
}

namespace {

// Hands the buffer on; after a failed write nothing more is written.
void hand_on(GlbDataSink* s) {
  const std::streamsize size = static_cast<std::streamsize>(s->used);
  if (s->failure.empty() && size > 0 &&
      s->out->sputn(reinterpret_cast<const char*>(s->buffer.get()), size) != size) {
    s->failure = "write failed";
  }
  s->written += s->used;
  s->used = 0;
}

// Room for n more bytes in the buffer, where they are written in place.
unsigned char* room(GlbDataSink* s, std::size_t n) {
  if (!s->buffer) s->buffer.reset(new unsigned char[kDataBuffer]);
  if (s->used + n > kDataBuffer) hand_on(s);
  unsigned char* at = s->buffer.get() + s->used;
  s->used += n;
  return at;
}

void put(GlbDataSink* s, const void* bytes, std::size_t n) { std::memcpy(room(s, n), bytes, n); }

// Floats little-endian, as glTF stores them: each one 4-byte store.
template <int N>
void put_floats(GlbDataSink* s, const float* v) {
  unsigned char* at = room(s, 4 * N);
  for (int i = 0; i < N; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &v[i], 4);
    for (int k = 0; k < 4; ++k) at[4 * i + k] = static_cast<unsigned char>(bits >> (8 * k));
  }
}

// The stages before `to` filled up to the vertex count: missing normals
// (0, 1, 0), missing texture coordinates (0, 0); indices padded to 4 bytes.
void advance(GlbDataSink* s, GlbStage to) {
  static const float up[3] = {0, 1, 0};
  static const float origin[2] = {0, 0};
  const GlbGeoset& g = *s->current;
  while (s->stage < to) {
    if (s->stage == GlbStage::kNormals || s->stage == GlbStage::kTexCoords) {
      const bool normals = s->stage == GlbStage::kNormals;
      for (; s->in_stage < g.vertices; ++s->in_stage) {
        if (normals) put_floats<3>(s, up);
        if (!normals) put_floats<2>(s, origin);
      }
    } else if (s->stage == GlbStage::kIndices) {
      static const unsigned char zeros[2] = {0, 0};
      if (!g.wide && g.triangles % 2 == 1) put(s, zeros, 2);
    }
    s->stage = static_cast<GlbStage>(static_cast<int>(s->stage) + 1);
    s->in_stage = 0;
  }
}

void put_faces(GlbDataSink* s, const unsigned char* b, std::uint32_t n) {
  const GlbGeoset& g = *s->current;
  for (std::uint32_t i = 0; i < n; ++i, b += 6) {
    std::uint32_t t[3];
    if (!triangle_at(b, g.vertices, t)) continue;
    const int width = g.wide ? 4 : 2;
    unsigned char* out = room(s, 3 * static_cast<std::size_t>(width));
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < width; ++j) {
        out[width * k + j] = static_cast<unsigned char>(t[k] >> (8 * j));
      }
    }
  }
}

}  // namespace

void GlbDataSink::write_records(RecordKind kind, const unsigned char* b, std::uint32_t n,
                                std::uint64_t) {
  if (current == nullptr || !failure.empty()) return;
  float v[3];
  const GlbStage to = kind == RecordKind::kVertex     ? GlbStage::kPositions
                      : kind == RecordKind::kNormal   ? GlbStage::kNormals
                      : kind == RecordKind::kTexCoord ? GlbStage::kTexCoords
                                                      : GlbStage::kIndices;
  advance(this, to);
  if (kind == RecordKind::kFace) return put_faces(this, b, n);
  const std::size_t size = record_size(kind);
  for (std::uint32_t i = 0; i < n && in_stage < current->vertices; ++i, ++in_stage) {
    const unsigned char* r = b + size * i;
    if (kind == RecordKind::kVertex) position_at(r, scale, v), put_floats<3>(this, v);
    if (kind == RecordKind::kNormal) normal_at(r, v), put_floats<3>(this, v);
    if (kind == RecordKind::kTexCoord) tex_coord_at(r, v), put_floats<2>(this, v);
  }
}

void GlbDataSink::begin_object(std::uint64_t number) {
  if (current) advance(this, GlbStage::kDone);
  geoset = number;
  current = nullptr;
  if (number <= scan->geosets.size() && has_mesh(scan->geosets[number - 1])) {
    current = &scan->geosets[number - 1];
    stage = GlbStage::kPositions;
    in_stage = 0;
  }
}

bool close_glb_data(GlbDataSink* s, std::string* err) {
  if (s->current) advance(s, GlbStage::kDone);
  s->current = nullptr;
  hand_on(s);
  if (!s->failure.empty()) *err = s->failure;
  return s->failure.empty();
}

std::vector<std::string> glb_warnings(const GlbFaults& faults) {
  std::vector<std::string> out;
  if (faults.dropped_triangles) out.push_back("triangles dropped: an index past its geoset");
  if (faults.non_finite) out.push_back("coordinates that are not finite written as 0");
  if (faults.bad_normals) out.push_back("normals of no direction written as (0, 1, 0)");
  if (faults.counts_differ) {
    out.push_back("normals or texture coordinates not one a vertex: filled or dropped");
  }
  return out;
}
