#include "gltf/glb_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/little_endian.h"
#include "common/model_float.h"

namespace {

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
bool normal_at(const unsigned char* b, float n[3]) {
  const double x = f32_at(b), y = negated(f32_at(b + 4)), z = f32_at(b + 8);
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0) || !std::isfinite(length)) {
    n[0] = 0, n[1] = 1, n[2] = 0;
    return false;
  }
  const double inverse = 1 / length;
  n[0] = static_cast<float>(x * inverse);
  n[1] = static_cast<float>(z * inverse);
  n[2] = static_cast<float>(y * inverse);
  return true;
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
  float p[3];
  bool finite = true;
  if (n > 0 && g.vertices == 0) {
    finite = position_at(b, scale, p);
    std::copy(p, p + 3, g.min);
    std::copy(p, p + 3, g.max);
  }
  for (std::uint32_t i = 0; i < n; ++i, b += 12) {
    finite = position_at(b, scale, p) && finite;
    for (int k = 0; k < 3; ++k) {
      g.min[k] = std::min(g.min[k], p[k]);
      g.max[k] = std::max(g.max[k], p[k]);
    }
  }
  g.vertices += n;
  if (!finite) scan->faults.non_finite = true;
}

}  // namespace

void GlbScanSink::write_records(RecordKind kind, const unsigned char* b, std::uint32_t n,
                                std::uint64_t) {
  if (scan.geosets.empty()) return;
  GlbGeoset& g = scan.geosets.back();
  GlbFaults& faults = scan.faults;
  std::uint32_t t[3];
  switch (kind) {
    case RecordKind::kVertex:
      scan_vertices(&scan, b, n, scale);
      break;
    // Their values are the second pass's to check, as it writes them.
    case RecordKind::kNormal:
      normals += n;
      break;
    case RecordKind::kTexCoord:
      tex_coords += n;
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
    case RecordKind::kGroupSize:
    case RecordKind::kGroupNode:
      take_groups(&groups, *skeleton, kind, b, n);
      g.eight_joints = needs_eight(groups);
      faults.many_joints = faults.many_joints || groups.many;
      any_groups = any_groups || !groups.sizes.empty();
      break;
    default:
      break;
  }
}

void GlbScanSink::begin_object(std::uint64_t) {
  if (!scan.geosets.empty()) end_geoset(this);
  scan.geosets.emplace_back();
  normals = tex_coords = 0;
  groups = GroupTable();
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

std::size_t skin_bytes(const GlbSkeleton& skeleton, const GlbGeoset& g) {
  return has_skin(skeleton) ? skin_stride(wide_joints(skeleton), g.eight_joints) : 0;
}

std::uint64_t mesh_bytes(const GlbGeoset& g, const GlbSkeleton& skeleton) {
  const std::uint64_t indices = std::uint64_t(g.triangles) * 3 * (g.wide ? 4 : 2);
  return std::uint64_t(g.vertices) * (32 + skin_bytes(skeleton, g)) + (indices + 3) / 4 * 4;
}

namespace {

// Hands the buffer on; after a failed write nothing more is written.
void hand_on(GlbDataSink* s) {
  const std::size_t used = s->used;
  s->written += used;
  s->used = 0;
  if (!s->failure.empty() || used == 0) return;
  const std::streamsize size = static_cast<std::streamsize>(used);
  const bool ok = s->writer
                      ? write_block(s->writer, &s->buffer, used)
                      : s->out->sputn(reinterpret_cast<const char*>(s->buffer.get()), size) == size;
  if (!ok) s->failure = "write failed";
}

// At least n bytes free in the buffer, handing on what it holds if need be.
void make_room(GlbDataSink* s, std::size_t n) {
  if (!s->buffer) s->buffer.reset(new unsigned char[kGlbDataBlock]);
  if (s->used + n > kGlbDataBlock) hand_on(s);
}

// Room for n more bytes in the buffer, where they are written in place.
unsigned char* room(GlbDataSink* s, std::size_t n) {
  make_room(s, n);
  unsigned char* at = s->buffer.get() + s->used;
  s->used += n;
  return at;
}

void put(GlbDataSink* s, const void* bytes, std::size_t n) { std::memcpy(room(s, n), bytes, n); }

// Floats little-endian, as glTF stores them: on a little-endian machine
// (each that this is built for) their own bytes.
template <int N>
void store_floats(unsigned char* at, const float* v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  std::memcpy(at, v, 4 * N);
#else
  for (int i = 0; i < N; ++i) put_le_f32(at + 4 * i, v[i]);
#endif
}

template <int N>
void put_floats(GlbDataSink* s, const float* v) {
  store_floats<N>(room(s, 4 * N), v);
}

// n records of `size` bytes, each made into N floats by `make` (false for a
// fault), written a buffer's worth at a time.
template <int N, class Make>
bool put_converted(GlbDataSink* s, const unsigned char* b, std::uint32_t n, std::size_t size,
                   Make make) {
  bool whole = true;
  while (n > 0) {
    make_room(s, 4 * N);
    const std::uint32_t k =
        static_cast<std::uint32_t>(std::min<std::size_t>(n, (kGlbDataBlock - s->used) / (4 * N)));
    unsigned char* at = room(s, std::size_t(k) * 4 * N);
    for (std::uint32_t i = 0; i < k; ++i, b += size, at += 4 * N) {
      float v[N];
      whole = make(b, v) && whole;
      store_floats<N>(at, v);
    }
    n -= k;
  }
  return whole;
}

// The joints and weights of n vertices: those of their groups (each a byte
// of `groups`), or of the model node alone where `groups` is null.
void put_skins(GlbDataSink* s, const unsigned char* groups, std::uint32_t n) {
  const GlbSkeleton& skeleton = *s->skeleton;
  const bool wide = wide_joints(skeleton), eight = s->current->eight_joints;
  const std::size_t stride = skin_stride(wide, eight);
  const auto model = static_cast<std::uint32_t>(skeleton.joints.size());
  for (std::uint32_t i = 0; i < n; ++i) {
    const JointSlots* slots = groups ? slots_of(s->groups, groups[i]) : nullptr;
    if (!slots) s->faults.unskinned = true;
    put_skin(room(s, stride), slots, model, wide, eight);
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
    } else if (s->stage == GlbStage::kSkin && s->skeleton && has_skin(*s->skeleton)) {
      // Vertices beyond the file's groups stay where the file has them.
      if (s->in_stage < g.vertices) s->faults.unskinned = true;
      for (; s->in_stage < g.vertices; ++s->in_stage) put_skins(s, nullptr, 1);
    }
    s->stage = static_cast<GlbStage>(static_cast<int>(s->stage) + 1);
    s->in_stage = 0;
  }
}

// The kept triangles, a buffer's worth at a time: 16-bit indices are the
// model's own bytes.
void put_faces(GlbDataSink* s, const unsigned char* b, std::uint32_t n) {
  const GlbGeoset& g = *s->current;
  const std::size_t size = g.wide ? 12 : 6;
  while (n > 0) {
    make_room(s, size);
    const std::uint32_t k =
        static_cast<std::uint32_t>(std::min<std::size_t>(n, (kGlbDataBlock - s->used) / size));
    unsigned char* at = s->buffer.get() + s->used;
    for (std::uint32_t i = 0; i < k; ++i, b += 6) {
      std::uint32_t t[3];
      if (!triangle_at(b, g.vertices, t)) continue;
      if (!g.wide) std::memcpy(at, b, 6);
      for (int j = 0; g.wide && j < 3; ++j) put_le(at + 4 * j, t[j]);
      at += size;
    }
    s->used = static_cast<std::size_t>(at - s->buffer.get());
    n -= k;
  }
}

}  // namespace

void GlbDataSink::write_records(RecordKind kind, const unsigned char* b, std::uint32_t n,
                                std::uint64_t) {
  if (current == nullptr || !failure.empty()) return;
  if (kind == RecordKind::kGroupSize || kind == RecordKind::kGroupNode) {
    return take_groups(&groups, *skeleton, kind, b, n);
  }
  const GlbStage to = kind == RecordKind::kVertex        ? GlbStage::kPositions
                      : kind == RecordKind::kNormal      ? GlbStage::kNormals
                      : kind == RecordKind::kTexCoord    ? GlbStage::kTexCoords
                      : kind == RecordKind::kVertexGroup ? GlbStage::kSkin
                                                         : GlbStage::kIndices;
  advance(this, to);
  if (kind == RecordKind::kFace) return put_faces(this, b, n);
  if (kind == RecordKind::kVertexGroup) {
    const std::uint32_t k = std::min(n, current->vertices - in_stage);
    in_stage += k;
    return put_skins(this, b, k);
  }
  const std::uint32_t k = std::min(n, current->vertices - in_stage);
  in_stage += k;
  const double by = scale;
  if (kind == RecordKind::kVertex) {
    // Their faults were found by the first pass.
    put_converted<3>(this, b, k, 12, [by](const unsigned char* r, float* v) {
      position_at(r, by, v);
      return true;
    });
  } else if (kind == RecordKind::kNormal) {
    if (!put_converted<3>(this, b, k, 12, normal_at)) faults.bad_normals = true;
  } else if (!put_converted<2>(this, b, k, 8, tex_coord_at)) {
    faults.non_finite = true;
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
    groups = GroupTable();
  }
}

bool close_glb_data(GlbDataSink* s, std::string* err) {
  if (s->current) advance(s, GlbStage::kDone);
  s->current = nullptr;
  hand_on(s);
  std::string failure;
  if (s->writer && !stop_block_writer(s->writer, &failure) && s->failure.empty()) {
    s->failure = failure;
  }
  if (!s->failure.empty()) *err = s->failure;
  return s->failure.empty();
}

void add_faults(GlbFaults* into, const GlbFaults& more) {
  into->dropped_triangles = into->dropped_triangles || more.dropped_triangles;
  into->non_finite = into->non_finite || more.non_finite;
  into->bad_normals = into->bad_normals || more.bad_normals;
  into->counts_differ = into->counts_differ || more.counts_differ;
  into->many_joints = into->many_joints || more.many_joints;
  into->unskinned = into->unskinned || more.unskinned;
}

std::vector<std::string> glb_warnings(const GlbFaults& faults) {
  std::vector<std::string> out;
  if (faults.dropped_triangles) out.push_back("triangles dropped: an index past its geoset");
  if (faults.non_finite) out.push_back("coordinates that are not finite written as 0");
  if (faults.bad_normals) out.push_back("normals of no direction written as (0, 1, 0)");
  if (faults.counts_differ) {
    out.push_back("normals or texture coordinates not one a vertex: filled or dropped");
  }
  if (faults.many_joints) out.push_back("groups of more than 8 nodes: the first 8 kept");
  if (faults.unskinned) {
    out.push_back("vertices of no group, or of one that names no node, left where they are");
  }
  return out;
}
