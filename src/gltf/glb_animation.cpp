// The animations of a skeleton: each track's keys within a sequence, as the
// model's rules play them, turned into glTF channels that play the same: the
// same keys, holding keys where the sequence's ends have none, tangents in
// units a second, all in the GLB's axes.
#include <algorithm>
#include <cmath>

#include "gltf/glb_skeleton.h"

namespace {

// Far more than a model's animations hold: what is kept stays bounded even
// where sequences overlap a long track many times.
constexpr std::size_t kMostKeys = std::size_t(1) << 22;

struct Point {
  std::int64_t time = 0;          // ms: a sequence's end may pass a key's range
  const TrackKey* key = nullptr;  // null: a key added to hold a value
  float value[4] = {0, 0, 0, 0};
  float in[4] = {0, 0, 0, 0};  // in units a second, of the GLB's curve
  float out[4] = {0, 0, 0, 0};
};

const char* interpolation_of(Interpolation how, std::size_t keys) {
  if (how == Interpolation::kNone) return "STEP";
  if (how == Interpolation::kLinear || keys == 1) return "LINEAR";
  return "CUBICSPLINE";
}

// The keys within [start, end], and keys added at its ends that hold the
// first and the last value.
std::vector<Point> points_of(const NodeTrack& t, std::int64_t start, std::int64_t end) {
  std::vector<Point> points;
  for (const TrackKey& k : t.keys) {
    if (k.time < start || k.time > end) continue;
    Point p;
    p.time = k.time;
    p.key = &k;
    std::copy(k.value, k.value + 4, p.value);
    points.push_back(p);
  }
  if (points.empty()) return points;
  if (points.front().time > start) {
    Point hold = points.front();
    hold.time = start;
    hold.key = nullptr;
    points.insert(points.begin(), hold);
  }
  if (points.back().time < end) {
    Point hold = points.back();
    hold.time = end;
    hold.key = nullptr;
    points.push_back(hold);
  }
  return points;
}

// Each segment's tangents between two keys of the file, in units a second;
// those of a segment to or from a held key stay 0.
void set_tangents(Interpolation how, int width, std::vector<Point>* points) {
  for (std::size_t k = 0; k + 1 < points->size(); ++k) {
    Point& a = (*points)[k];
    Point& b = (*points)[k + 1];
    if (!a.key || !b.key) continue;
    const double dt = (double(b.time) - a.time) / 1000.0;
    for (int c = 0; c < width; ++c) {
      if (how == Interpolation::kHermite) {
        a.out[c] = static_cast<float>(a.key->out[c] / dt);
        b.in[c] = static_cast<float>(b.key->in[c] / dt);
      } else {
        a.out[c] = static_cast<float>(3.0 * (double(a.key->out[c]) - a.key->value[c]) / dt);
        b.in[c] = static_cast<float>(3.0 * (double(b.key->value[c]) - b.key->in[c]) / dt);
      }
    }
  }
}

// A value of `path` in the GLB's axes: a translation scaled and moved by the
// rest (`offset`, not for tangents), a rotation (x, z, -y, w), a scale
// (x, z, y).
void put_value(const float* v, int path, double scale, const float* offset,
               std::vector<float>* out) {
  if (path == kTranslation) {
    const double x = double(v[0]) * scale, y = double(v[2]) * scale, z = -double(v[1]) * scale;
    out->push_back(static_cast<float>(x + (offset ? offset[0] : 0.0)));
    out->push_back(static_cast<float>(y + (offset ? offset[1] : 0.0)));
    out->push_back(static_cast<float>(z + (offset ? offset[2] : 0.0)));
  } else if (path == kRotation) {
    out->insert(out->end(), {v[0], v[2], -v[1], v[3]});
  } else {
    out->insert(out->end(), {v[0], v[2], v[1]});
  }
}

// The value a track holds where it has no key: its rest.
void rest_value(int path, float out[4]) {
  const float translation[4] = {0, 0, 0, 0}, rotation[4] = {0, 0, 0, 1}, scale[4] = {1, 1, 1, 0};
  const float* v = path == kTranslation ? translation : path == kRotation ? rotation : scale;
  std::copy(v, v + 4, out);
}

GlbChannel channel_of(const NodeTrack& t, int path, std::uint32_t node, const float* rest,
                      std::int64_t start, std::int64_t end, double scale) {
  std::vector<Point> points = points_of(t, start, end);
  Interpolation how = t.interpolation;
  if (points.empty()) {
    // No key in this span: the node holds its rest.
    how = Interpolation::kLinear;
    for (std::int64_t at : {start, end}) {
      Point p;
      p.time = at;
      rest_value(path, p.value);
      if (points.empty() || at != start) points.push_back(p);
    }
  }
  const bool cubic = how >= Interpolation::kHermite && points.size() > 1;
  if (cubic) set_tangents(how, path == kRotation ? 4 : 3, &points);
  GlbChannel c;
  c.node = node;
  c.path = path;
  c.interpolation = interpolation_of(how, points.size());
  for (const Point& p : points) {
    // Times far from the sequence's start that one float cannot tell apart
    // keep the first: glTF's times must rise.
    const float time = static_cast<float>((double(p.time) - double(start)) / 1000.0);
    if (!c.times.empty() && time <= c.times.back()) continue;
    c.times.push_back(time);
    if (cubic) put_value(p.in, path, scale, nullptr, &c.values);
    put_value(p.value, path, scale, rest, &c.values);
    if (cubic) put_value(p.out, path, scale, nullptr, &c.values);
  }
  return c;
}

// One animation over [start, end] of the tracks of `global` (-1: the
// model's timeline), with a channel for each node and path animated there.
GlbAnimation animation_of(const ModelSkeleton& model, const GlbSkeleton& s, std::int32_t global,
                          std::int64_t start, std::int64_t end, double scale) {
  GlbAnimation a;
  for (std::size_t n = 0; n < model.nodes.size(); ++n) {
    for (int path = 0; path < kPaths; ++path) {
      const NodeTrack& t = model.nodes[n].tracks[path];
      if (t.keys.empty() || t.global_sequence != global) continue;
      const float* rest = path == kTranslation ? s.joints[n].rest : nullptr;
      a.channels.push_back(
          channel_of(t, path, static_cast<std::uint32_t>(n), rest, start, end, scale));
    }
  }
  if (a.channels.empty()) {
    // Nothing moves: the model node holds its place, since an animation
    // must have a channel.
    NodeTrack none;
    a.channels.push_back(channel_of(none, kTranslation, static_cast<std::uint32_t>(s.joints.size()),
                                    nullptr, start, end, scale));
  }
  return a;
}

std::size_t keys_of(const GlbAnimation& a) {
  std::size_t keys = 0;
  for (const GlbChannel& c : a.channels) keys += c.times.size();
  return keys;
}

}  // namespace

void add_animations(const ModelSkeleton& model, double scale, GlbSkeleton* s,
                    GlbSkeletonFaults* faults) {
  std::size_t keys = 0;
  auto add = [&](GlbAnimation a) {
    keys += keys_of(a);
    if (keys > kMostKeys) faults->too_many_keys = true;
    if (!faults->too_many_keys) s->animations.push_back(std::move(a));
  };
  for (const ModelSequence& q : model.sequences) {
    if (q.end < q.start) faults->backwards = true;
    const std::int64_t end = std::max<std::int64_t>(q.start, q.end);
    GlbAnimation a = animation_of(model, *s, -1, q.start, end, scale);
    a.name = q.name;
    a.looping = q.looping;
    a.move_speed = q.move_speed;
    a.rarity = q.rarity;
    add(std::move(a));
  }
  for (std::size_t g = 0; g < model.global_sequences.size(); ++g) {
    bool used = false;
    for (const SkeletonNode& n : model.nodes) {
      for (const NodeTrack& t : n.tracks)
        used = used || (!t.keys.empty() && t.global_sequence == std::int32_t(g));
    }
    if (!used) continue;
    GlbAnimation a =
        animation_of(model, *s, static_cast<std::int32_t>(g), 0, model.global_sequences[g], scale);
    a.name = "global sequence " + std::to_string(g);
    a.global = true;
    add(std::move(a));
  }
}
