// The animations of a skeleton: each track's keys within a sequence, as the
// model's rules play them, turned into glTF channels that play the same: the
// same keys, holding keys where the sequence's ends have none, tangents in
// units a second, all in the GLB's axes.
#include <algorithm>
#include <cmath>
#include <string>

#include "gltf/glb_skeleton.h"

namespace {

// Far more than a model's animations hold: what is kept stays bounded even
// where sequences overlap a long track many times.
constexpr std::size_t kMostKeys = std::size_t(1) << 22;
// One channel for each node and path in each sequence: far more than a
// model holds, a bound where a file claims thousands of sequences over
// thousands of nodes.
constexpr std::size_t kMostChannels = std::size_t(1) << 17;

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
  // The keys are sorted: a long track is not walked whole for each sequence.
  const auto first =
      std::lower_bound(t.keys.begin(), t.keys.end(), start,
                       [](const TrackKey& k, std::int64_t at) { return k.time < at; });
  for (auto it = first; it != t.keys.end() && it->time <= end; ++it) {
    const TrackKey& k = *it;
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

// A channel's value at t seconds, by the glTF rules: a rotation's straight
// line the shorter arc, a cubic's result of unit length.
void value_at(const GlbChannel& c, bool cubic, std::size_t width, double t, float* out) {
  const std::size_t stride = cubic ? 3 * width : width, mid = cubic ? width : 0;
  const std::vector<float>& times = c.times;
  const std::size_t k =
      std::upper_bound(times.begin(), times.end(), t) - times.begin() - (t >= times[0] ? 1 : 0);
  const float* a = &c.values[std::min(k, times.size() - 1) * stride];
  if (t <= times.front() || k + 1 >= times.size())
    return void(std::copy(a + mid, a + mid + width, out));
  const float* b = a + stride;
  const double dt = double(times[k + 1]) - times[k], s = (t - times[k]) / dt;
  double v[4] = {0, 0, 0, 0}, square = 0, dot = 0;
  for (std::size_t i = 0; i < width; ++i) dot += double(a[i]) * b[i];
  const double sign = width == 4 && dot < 0 ? -1 : 1;
  const double angle = std::acos(std::min(1.0, std::fabs(dot)));
  const bool arc = width == 4 && !cubic && angle > 1e-6;
  for (std::size_t i = 0; i < width; ++i) {
    if (cubic) {
      const double s2 = s * s, s3 = s2 * s;
      v[i] = (2 * s3 - 3 * s2 + 1) * a[mid + i] + (s3 - 2 * s2 + s) * dt * a[2 * width + i] +
             (-2 * s3 + 3 * s2) * b[mid + i] + (s3 - s2) * dt * b[i];
    } else if (arc) {
      v[i] =
          (std::sin((1 - s) * angle) * a[i] + sign * std::sin(s * angle) * b[i]) / std::sin(angle);
    } else {
      v[i] = a[i] + s * (sign * b[i] - a[i]);
    }
    square += v[i] * v[i];
  }
  const double length = width == 4 && square > 0 ? std::sqrt(square) : 1;
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<float>(v[i] / length);
}

// A LINEAR or CUBICSPLINE channel sampled `hz` times a second and at each of
// its keys, as straight lines; false, with nothing sampled, where that passes
// the `room` left of what a model keeps.
bool bake(GlbChannel* c, unsigned hz, std::size_t room) {
  if (std::string(c->interpolation) == "STEP" || c->times.size() < 2) return true;
  const double end = c->times.back();
  if (end * hz + double(c->times.size()) > double(room)) return false;
  // The samples rise as the keys do: merged, not sorted, as there may be
  // millions of them.
  std::vector<float> samples;
  for (std::uint64_t k = 1; double(k) / hz < end; ++k)
    samples.push_back(static_cast<float>(double(k) / hz));
  std::vector<float> times(c->times.size() + samples.size());
  std::merge(c->times.begin(), c->times.end(), samples.begin(), samples.end(), times.begin());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  const bool cubic = std::string(c->interpolation) == "CUBICSPLINE";
  const std::size_t width = c->path == kRotation ? 4 : 3;
  GlbChannel out;
  out.node = c->node;
  out.path = c->path;
  out.interpolation = "LINEAR";
  out.values.resize(times.size() * width);
  for (std::size_t i = 0; i < times.size(); ++i)
    value_at(*c, cubic, width, times[i], &out.values[i * width]);
  out.times = std::move(times);
  *c = std::move(out);
  return true;
}

}  // namespace

void add_animations(const ModelSkeleton& model, double scale, unsigned hz, GlbSkeleton* s,
                    GlbSkeletonFaults* faults) {
  // Each channel counted as it is made: a sampling past the bound stops at
  // the channel that passes it, not after every channel of it is sampled.
  std::size_t keys = 0, channels = 0;
  auto add = [&](GlbAnimation a) {
    channels += a.channels.size();
    if (channels > kMostChannels) return void(faults->too_many_keys = true);
    for (GlbChannel& c : a.channels) {
      const bool sampled = hz == 0 || bake(&c, hz, kMostKeys - keys);
      keys += c.times.size();
      if (!sampled || keys > kMostKeys) return void(faults->too_many_keys = true);
    }
    s->animations.push_back(std::move(a));
  };
  for (const ModelSequence& q : model.sequences) {
    if (q.end < q.start) faults->backwards = true;
    if (faults->too_many_keys) continue;
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
    if (!used || faults->too_many_keys) continue;
    GlbAnimation a =
        animation_of(model, *s, static_cast<std::int32_t>(g), 0, model.global_sequences[g], scale);
    a.name = "global sequence " + std::to_string(g);
    a.global = true;
    add(std::move(a));
  }
}
