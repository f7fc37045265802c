// The glTF rules for a moving model, written apart from the converter, over
// a GLB read back: every skinned vertex at a time of one animation, to hold
// against the model's own rules (model_pose.h).
#pragma once

#include "glb_read.h"
#include "model_pose.h"

// The glTF rules: a sampler's value at t seconds.
inline V4 gltf_value(const Glb& glb, const nlohmann::json& sampler, int width, double t) {
  const std::vector<double> times = accessor_values(glb, sampler["input"]);
  const std::vector<double> values = accessor_values(glb, sampler["output"]);
  const std::string how = sampler["interpolation"];
  const bool cubic = how == "CUBICSPLINE";
  auto at = [&](std::size_t k, int part) {
    V4 r = {0, 0, 0, 0};
    const std::size_t base = (cubic ? 3 * k + part : k) * width;
    for (int i = 0; i < width; ++i) r[i] = values[base + i];
    return r;
  };
  const int mid = cubic ? 1 : 0;
  if (t <= times.front()) return at(0, mid);
  if (t >= times.back()) return at(times.size() - 1, mid);
  std::size_t k = 0;
  while (times[k + 1] <= t) ++k;
  const double dt = times[k + 1] - times[k], s = (t - times[k]) / dt;
  if (how == "STEP") return at(k, 0);
  if (!cubic && width == 4) return slerp(at(k, 0), at(k + 1, 0), s);
  V4 r = {0, 0, 0, 0};
  const std::array<double, 4> h = hermite(s);
  for (int i = 0; i < width; ++i) {
    r[i] = cubic ? h[0] * at(k, 1)[i] + h[1] * dt * at(k, 2)[i] + h[2] * at(k + 1, 1)[i] +
                       h[3] * dt * at(k + 1, 0)[i]
                 : at(k, 0)[i] + s * (at(k + 1, 0)[i] - at(k, 0)[i]);
  }
  return width == 4 ? normalized(r) : r;
}

// The glTF rules: each node's world matrix at t seconds of `animation` (-1:
// none, the rest pose).
inline std::vector<Mat> gltf_world(const Glb& glb, int animation, double t) {
  const nlohmann::json& nodes = glb.json["nodes"];
  std::vector<V4> tr(nodes.size(), V4{0, 0, 0, 0}), q(nodes.size(), V4{0, 0, 0, 1}),
      sc(nodes.size(), V4{1, 1, 1, 0});
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (int k = 0; k < 3 && nodes[i].contains("translation"); ++k)
      tr[i][k] = nodes[i]["translation"][k];
  }
  if (animation >= 0) {
    const nlohmann::json& a = glb.json["animations"][animation];
    for (const auto& c : a["channels"]) {
      const std::size_t node = c["target"]["node"];
      const std::string path = c["target"]["path"];
      const auto& sampler = a["samplers"][c["sampler"].get<std::size_t>()];
      V4& into = path == "translation" ? tr[node] : path == "rotation" ? q[node] : sc[node];
      into = gltf_value(glb, sampler, path == "rotation" ? 4 : 3, t);
    }
  }
  std::vector<Mat> world(nodes.size());
  std::vector<int> parent(nodes.size(), -1);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (const auto& c : nodes[i].value("children", nlohmann::json::array()))
      parent[c.get<std::size_t>()] = int(i);
  }
  std::vector<bool> done(nodes.size(), false);
  for (std::size_t pass = 0; pass < nodes.size(); ++pass) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      if (done[i] || (parent[i] >= 0 && !done[std::size_t(parent[i])])) continue;
      world[i] = (parent[i] >= 0 ? world[std::size_t(parent[i])] : Mat()) *
                 translation(tr[i][0], tr[i][1], tr[i][2]) * rotation(q[i]) *
                 scaling(sc[i][0], sc[i][1], sc[i][2]);
      done[i] = true;
    }
  }
  return world;
}

// Every vertex of mesh `mesh` as the skin moves it.
inline std::vector<std::array<double, 3>> gltf_vertices(const Glb& glb, std::size_t mesh,
                                                        const std::vector<Mat>& world) {
  const auto& p = glb.json["meshes"][mesh]["primitives"][0]["attributes"];
  const auto& skin = glb.json["skins"][0];
  const std::vector<double> pos = accessor_values(glb, p["POSITION"]);
  const std::vector<double> ibm = accessor_values(glb, skin["inverseBindMatrices"]);
  std::vector<std::vector<double>> joints, weights;
  for (int set = 0; set < 2 && p.contains("JOINTS_" + std::to_string(set)); ++set) {
    joints.push_back(accessor_values(glb, p["JOINTS_" + std::to_string(set)]));
    weights.push_back(accessor_values(glb, p["WEIGHTS_" + std::to_string(set)]));
  }
  std::vector<std::array<double, 3>> out;
  for (std::size_t v = 0; v < pos.size() / 3; ++v) {
    std::array<double, 3> sum = {0, 0, 0};
    for (std::size_t set = 0; set < joints.size(); ++set) {
      for (int k = 0; k < 4; ++k) {
        const double w = weights[set][4 * v + k];
        const std::size_t j = std::size_t(joints[set][4 * v + k]);
        Mat inverse;
        std::copy(ibm.begin() + 16 * j, ibm.begin() + 16 * j + 16, inverse.m);
        const std::size_t node = skin["joints"][j];
        const std::array<double, 3> moved =
            apply(world[node] * inverse, {pos[3 * v], pos[3 * v + 1], pos[3 * v + 2]});
        for (int c = 0; c < 3; ++c) sum[c] += w * moved[c];
      }
    }
    out.push_back(sum);
  }
  return out;
}
