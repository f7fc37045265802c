// The model's own rules for a moving model, written apart from the
// converter: each node's matrix at a time of a sequence over the keys a test
// wrote, and where each vertex of a group goes.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "model_builder.h"

using V4 = std::array<double, 4>;

struct Mat {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // column by column
};

inline Mat operator*(const Mat& a, const Mat& b) {
  Mat r;
  for (int c = 0; c < 4; ++c) {
    for (int row = 0; row < 4; ++row) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[k * 4 + row] * b.m[c * 4 + k];
      r.m[c * 4 + row] = s;
    }
  }
  return r;
}

inline Mat translation(double x, double y, double z) {
  Mat r;
  r.m[12] = x, r.m[13] = y, r.m[14] = z;
  return r;
}

inline Mat rotation(V4 q) {
  const double x = q[0], y = q[1], z = q[2], w = q[3];
  Mat r;
  const double e[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),
                       2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
                       2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y)};
  for (int c = 0; c < 3; ++c) {
    for (int row = 0; row < 3; ++row) r.m[c * 4 + row] = e[c * 3 + row];
  }
  return r;
}

inline Mat scaling(double x, double y, double z) {
  Mat r;
  r.m[0] = x, r.m[5] = y, r.m[10] = z;
  return r;
}

inline std::array<double, 3> apply(const Mat& a, std::array<double, 3> p) {
  std::array<double, 3> r;
  for (int row = 0; row < 3; ++row) {
    r[row] = a.m[row] * p[0] + a.m[4 + row] * p[1] + a.m[8 + row] * p[2] + a.m[12 + row];
  }
  return r;
}

inline V4 normalized(V4 q) {
  const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (double& v : q) v /= n;
  return q;
}

inline V4 slerp(V4 a, V4 b, double s) {
  double dot = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
  if (dot < 0) {
    for (double& v : b) v = -v;
    dot = -dot;
  }
  if (dot > 0.9999995) {
    V4 r;
    for (int i = 0; i < 4; ++i) r[i] = a[i] + s * (b[i] - a[i]);
    return normalized(r);
  }
  const double angle = std::acos(dot), sa = std::sin(angle);
  V4 r;
  for (int i = 0; i < 4; ++i) {
    r[i] = (std::sin((1 - s) * angle) * a[i] + std::sin(s * angle) * b[i]) / sa;
  }
  return r;
}

// The cubic Hermite basis at s.
inline std::array<double, 4> hermite(double s) {
  const double s2 = s * s, s3 = s2 * s;
  return {2 * s3 - 3 * s2 + 1, s3 - 2 * s2 + s, -2 * s3 + 3 * s2, s3 - s2};
}

// The model's rules: a track's value at time t (ms) of [start, end].
inline V4 model_value(const TrackData& track, int width, double t, double start, double end) {
  // The keys as the rules take them: sorted, the last of equal times kept,
  // rotations of unit length, each on the side of the one before.
  std::vector<KeyData> keys;
  std::vector<KeyData> sorted = track.keys;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const KeyData& a, const KeyData& b) { return a.time < b.time; });
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i + 1 < sorted.size() && sorted[i + 1].time == sorted[i].time) continue;
    KeyData k = sorted[i];
    if (width == 4) {
      double n = 0;
      for (float v : k.value) n += double(v) * v;
      n = std::sqrt(n);
      for (auto* list : {&k.value, &k.in, &k.out}) {
        for (float& v : *list) v = static_cast<float>(v / n);
      }
      double dot = 0;
      for (int c = 0; c < 4 && !keys.empty(); ++c) dot += double(k.value[c]) * keys.back().value[c];
      for (auto* list : {&k.value, &k.in, &k.out}) {
        for (float& v : *list) v = dot < 0 ? -v : v;
      }
    }
    if (k.time >= start && k.time <= end) keys.push_back(k);
  }
  V4 rest = {0, 0, 0, width == 4 ? 1.0 : 0.0};
  if (std::string(track.tag) == "KGSC") rest = {1, 1, 1, 0};
  auto value = [&](const std::vector<float>& v) {
    V4 r = {0, 0, 0, 0};
    for (int i = 0; i < width; ++i) r[i] = v[i];
    return r;
  };
  if (keys.empty()) return rest;
  if (t <= keys.front().time) return value(keys.front().value);
  if (t >= keys.back().time) return value(keys.back().value);
  std::size_t k = 0;
  while (keys[k + 1].time <= t) ++k;
  const KeyData &a = keys[k], &b = keys[k + 1];
  const double s = (t - a.time) / (double(b.time) - a.time);
  V4 r = {0, 0, 0, 0};
  if (track.interpolation == 0) return value(a.value);
  if (track.interpolation == 1 && width == 4) return slerp(value(a.value), value(b.value), s);
  const std::array<double, 4> h = hermite(s);
  for (int i = 0; i < width; ++i) {
    if (track.interpolation == 1) {
      r[i] = a.value[i] + s * (b.value[i] - a.value[i]);
    } else if (track.interpolation == 2) {
      r[i] = h[0] * a.value[i] + h[1] * a.out[i] + h[2] * b.value[i] + h[3] * b.in[i];
    } else {
      const double u = 1 - s;
      r[i] = u * u * u * a.value[i] + 3 * u * u * s * a.out[i] + 3 * u * s * s * b.in[i] +
             s * s * s * b.value[i];
    }
  }
  return width == 4 ? normalized(r) : r;
}

// The model's rules: the matrix of each node (by its index) at time t of the
// timeline `global` (-1: the sequences'), other timelines' tracks at rest.
inline std::vector<Mat> model_matrices(const SkeletonData& s, std::int32_t global, double t,
                                       double start, double end) {
  std::vector<Mat> out(s.nodes.size());
  std::vector<bool> done(s.nodes.size(), false);
  std::map<std::uint32_t, std::size_t> by_id;
  for (std::size_t i = 0; i < s.nodes.size(); ++i) by_id.emplace(s.nodes[i].object_id, i);
  for (std::size_t pass = 0; pass < s.nodes.size(); ++pass) {
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
      const NodeData& n = s.nodes[i];
      auto parent = by_id.find(n.parent);
      const bool root = parent == by_id.end();
      if (done[i] || (!root && !done[parent->second])) continue;
      V4 tr = {0, 0, 0, 0}, q = {0, 0, 0, 1}, sc = {1, 1, 1, 0};
      for (const TrackData& track : n.tracks) {
        if (track.global != global) continue;
        const std::string tag = track.tag;
        V4& into = tag == "KGTR" ? tr : tag == "KGRT" ? q : sc;
        into = model_value(track, tag == "KGRT" ? 4 : 3, t, start, end);
      }
      const Vec3 p = n.object_id < s.pivots.size() ? s.pivots[n.object_id] : Vec3{0, 0, 0};
      out[i] = (root ? Mat() : out[parent->second]) * translation(p.x, p.y, p.z) *
               translation(tr[0], tr[1], tr[2]) * rotation(q) * scaling(sc[0], sc[1], sc[2]) *
               translation(-p.x, -p.y, -p.z);
      done[i] = true;
    }
  }
  return out;
}

// A vertex of a group, as the rules move it, in the GLB's axes.
inline std::array<double, 3> model_vertex(const SkeletonData& s, const std::vector<Mat>& m,
                                          const std::vector<std::uint32_t>& group, Vec3 v) {
  std::vector<std::size_t> nodes;
  for (std::uint32_t id : group) {
    for (std::size_t i = 0; i < s.nodes.size(); ++i) {
      if (s.nodes[i].object_id == id && nodes.size() < 8) {
        nodes.push_back(i);
        break;
      }
    }
  }
  std::array<double, 3> sum = {v.x, v.y, v.z};
  if (!nodes.empty()) sum = {0, 0, 0};
  for (std::size_t i : nodes) {
    const std::array<double, 3> p = apply(m[i], {v.x, v.y, v.z});
    for (int k = 0; k < 3; ++k) sum[k] += p[k] / double(nodes.size());
  }
  return {sum[0], sum[2], -sum[1]};
}
