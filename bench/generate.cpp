#include "generate.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "model_builder.h"
#include "model_pose.h"
#include "skeleton_models.h"
#include "texture_builder.h"

namespace {

// Texture coordinates as artists' tools store them: most on a 1/256 or 1/128
// grid (exact halves at the sixth decimal), some anywhere.
float tex_value(std::mt19937& rng) {
  switch (rng() % 4) {
    case 0:
      return static_cast<float>(rng() % 257) / 256.0f;
    case 1:
      return static_cast<float>(rng() % 129) / 128.0f;
    default:
      return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
  }
}

// As modelling tools leave them: positions on a 1/64 grid, unit normals,
// texture coordinates on the texel grid of a 128 to 1024 texel texture, and
// triangles over a strip of neighbouring vertices, so that consecutive corners
// are near each other.
GeosetData realistic_geoset(std::mt19937& rng, int most) {
  std::uniform_int_distribution<int> grid(-64 * 120, 64 * 120);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const int texels[] = {128, 256, 512, 1024};
  const int size = texels[rng() % 4];
  std::uniform_int_distribution<int> texel(0, size);
  GeosetData g;
  int n = std::min(most, 500 + static_cast<int>(rng() % 4000));
  for (int i = 0; i < n; ++i) {
    g.vertices.push_back({grid(rng) / 64.0f, grid(rng) / 64.0f, grid(rng) / 64.0f});
    float x = unit(rng), y = unit(rng), z = unit(rng);
    float len = std::sqrt(x * x + y * y + z * z) + 1e-6f;
    g.normals.push_back({x / len, y / len, z / len});
    g.tex_coords.push_back({static_cast<float>(texel(rng)) / static_cast<float>(size),
                            static_cast<float>(texel(rng)) / static_cast<float>(size)});
  }
  for (int f = 0; f < 2 * n; ++f) {
    int first = (f / 2 + static_cast<int>(rng() % 3)) % (n - 2);
    for (int k = 0; k < 3; ++k) g.indices.push_back(static_cast<std::uint16_t>(first + k));
  }
  return g;
}

// `n` vertices anywhere, and twice as many triangles over any of them.
GeosetData random_geoset(std::mt19937& rng, int n) {
  std::uniform_real_distribution<float> coord(-250.0f, 250.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  GeosetData g;
  for (int i = 0; i < n; ++i) {
    g.vertices.push_back({coord(rng), coord(rng), coord(rng)});
    float x = unit(rng), y = unit(rng), z = unit(rng);
    float len = std::sqrt(x * x + y * y + z * z) + 1e-6f;
    g.normals.push_back({x / len, y / len, z / len});
    g.tex_coords.push_back({tex_value(rng), tex_value(rng)});
  }
  int faces = n * 2;
  for (int f = 0; f < 3 * faces; ++f) g.indices.push_back(static_cast<std::uint16_t>(rng() % n));
  return g;
}

// Keyframe-like bulk that the walk searches through but never converts.
void write_animation_chunk(ByteWriter& w, std::mt19937& rng, std::size_t bytes) {
  bytes -= bytes % 4;  // whole values: the chunk holds all that its size says
  w.tag("KEYS");
  w.u32(static_cast<std::uint32_t>(bytes));
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
    if (i % 64 == 0) {
      w.u32(static_cast<std::uint32_t>(i * 33));  // frame number
    } else {
      w.f32(value(rng));
    }
  }
}

}  // namespace

std::string generate_model(std::size_t target, unsigned seed, ModelKind kind) {
  return dressed_model(target, seed, kind, "", "");
}

namespace {

// 40 bones in a tree, each turning in three sequences, some moving.
SkeletonData bench_skeleton(std::mt19937& rng) {
  SkeletonData s;
  std::uniform_real_distribution<float> at(-2, 2), turn(-0.3f, 0.3f);
  for (std::uint32_t b = 0; b < 40; ++b) {
    NodeData n{"BONE", "bone" + std::to_string(b), b, b == 0 ? 0xFFFFFFFFu : b / 3, {}};
    TrackData rotation{"KGRT", b % 2 ? 1u : 3u, -1, {}};
    for (std::int32_t t = 0; t <= 3000; t += 100) {
      const float x = turn(rng), y = turn(rng), z = turn(rng);
      const float w = std::sqrt(std::max(0.0f, 1 - x * x - y * y - z * z));
      KeyData k{t, {x, y, z, w}, {}, {}};
      if (rotation.interpolation == 3) k.in = k.value, k.out = k.value;
      rotation.keys.push_back(k);
    }
    n.tracks.push_back(rotation);
    if (b % 4 == 0) {
      n.tracks.push_back(
          {"KGTR", 1, -1, {{0, {0, 0, 0}, {}, {}}, {1500, {at(rng), at(rng), 0}, {}, {}}}});
    }
    s.nodes.push_back(n);
    s.pivots.push_back({at(rng), at(rng), at(rng)});
  }
  s.sequences = {{"Stand", 0, 1000, 0, 0, 0},
                 {"Walk", 1000, 2000, 270, 0, 0},
                 {"Attack", 2000, 3000, 0, 1, 0}};
  return s;
}

// Each vertex of one of 16 groups of 1 to 4 bones.
void add_groups(std::mt19937& rng, GeosetData* g) {
  for (int k = 0; k < 16; ++k) {
    std::vector<std::uint32_t> group;
    for (std::uint32_t n = 0, count = 1 + rng() % 4; n < count; ++n) group.push_back(rng() % 40);
    g->groups.push_back(group);
  }
  for (std::size_t v = 0; v < g->vertices.size(); ++v) g->vertex_groups.push_back(rng() % 16);
}

}  // namespace

std::string skinned_model(std::size_t target, unsigned seed, ModelKind kind) {
  std::mt19937 rng(seed);
  std::vector<GeosetData> geosets;
  std::size_t estimate = 2000;
  const int most =
      static_cast<int>(std::max<std::size_t>(16, std::min<std::size_t>(4500, target / 60)));
  while (estimate < target * 3 / 4) {
    geosets.push_back(
        kind == ModelKind::kRealistic
            ? realistic_geoset(rng, most)
            : random_geoset(rng, std::min(most, 500 + static_cast<int>(rng() % 4000))));
    add_groups(rng, &geosets.back());
    const GeosetData& g = geosets.back();
    estimate += 200 + g.vertices.size() * (12 + 12 + 8 + 1) + g.indices.size() * 2;
  }
  ModelDress dress;
  dress.skeleton = bench_skeleton(rng);
  ByteWriter w;
  w.bytes = build_model(geosets, nullptr, dress);
  if (w.size() + 8 < target) write_animation_chunk(w, rng, target - w.size() - 8);
  return std::move(w.bytes);
}

std::string walking_model() {
  ModelDress d;
  d.skeleton = walking_skeleton();
  return build_model({skinned_geoset()}, nullptr, d);
}

std::string walking_pose() {
  const SkeletonData s = walking_skeleton();
  const GeosetData g = skinned_geoset();
  const std::vector<Mat> m = model_matrices(s, -1, 500, 0, 1000);
  std::string json = "{";
  for (std::size_t v = 0; v < g.vertices.size(); ++v) {
    const std::uint8_t group = g.vertex_groups[v];
    if (group >= g.groups.size() || g.groups[group].size() > 4) continue;
    const auto p = model_vertex(s, m, g.groups[group], g.vertices[v]);
    char text[120];
    std::snprintf(text, sizeof text, "%s\"%zu\": [%.9g, %.9g, %.9g]", json.size() > 1 ? ", " : "",
                  v, p[0], p[1], p[2]);
    json += text;
  }
  return json + "}\n";
}

std::string dressed_model(std::size_t target, unsigned seed, ModelKind kind,
                          const std::string& skin, const std::string& shared) {
  std::mt19937 rng(seed);
  std::vector<GeosetData> geosets;
  // Small models have small geosets.
  const int most =
      static_cast<int>(std::max<std::size_t>(16, std::min<std::size_t>(4500, target / 60)));
  std::size_t estimate = 2000;
  // Three quarters geosets, one quarter other chunks, as in character models;
  // large geosets fill the model.
  const std::size_t geoset_bytes = kind == ModelKind::kLarge ? target : target * 3 / 4;
  while (estimate < geoset_bytes) {
    const std::size_t left = (geoset_bytes - estimate) / (12 + 12 + 8 + 6 * 2);
    switch (kind) {
      case ModelKind::kNoise:
        geosets.push_back(random_geoset(rng, std::min(most, 500 + static_cast<int>(rng() % 4000))));
        break;
      case ModelKind::kRealistic:
        geosets.push_back(realistic_geoset(rng, most));
        break;
      case ModelKind::kLarge:
        geosets.push_back(random_geoset(
            rng, static_cast<int>(std::clamp<std::size_t>(left, 3, 20000 + rng() % 40001))));
        break;
    }
    const GeosetData& g = geosets.back();
    estimate += 200 + g.vertices.size() * (12 + 12 + 8 + 1) + g.indices.size() * 2;
  }
  ModelDress dress;
  if (!skin.empty()) {
    dress.textures = {{1, ""}, {0, skin}, {0, shared}};
    // The game's own textures in place of the files: nothing to look for.
    if (skin == kTeamOnly) dress.textures = {{1, ""}, {1, ""}, {2, ""}};
    dress.materials = {{{0, 0, 0}, {1, 0x10, 1}}, {{2, 0, 2}}};
    for (std::size_t g = 0; g < geosets.size(); ++g) geosets[g].material = g % 2;
  }
  ByteWriter w;
  w.bytes = build_model(geosets, nullptr, dress);
  if (w.size() + 8 < target) write_animation_chunk(w, rng, target - w.size() - 8);
  return std::move(w.bytes);
}

namespace {

constexpr float kPi = 3.14159265f;

// A surface of revolution around the z axis: `profile` gives the radius and
// height at t in [0, 1] from bottom to top, and the normal's radial and z
// parts there.
template <class Profile>
GeosetData revolved(int around, int along, Profile profile) {
  GeosetData g;
  for (int j = 0; j <= along; ++j) {
    float t = static_cast<float>(j) / static_cast<float>(along);
    float r, z, nr, nz;
    profile(t, &r, &z, &nr, &nz);
    for (int i = 0; i <= around; ++i) {
      float a = 2 * kPi * static_cast<float>(i) / static_cast<float>(around);
      g.vertices.push_back({r * std::cos(a), r * std::sin(a), z});
      float len = std::sqrt(nr * nr + nz * nz);
      g.normals.push_back({nr * std::cos(a) / len, nr * std::sin(a) / len, nz / len});
      g.tex_coords.push_back({static_cast<float>(i * 256 / around) / 256.0f,
                              static_cast<float>(j * 256 / along) / 256.0f});
    }
  }
  for (int j = 0; j < along; ++j) {
    for (int i = 0; i < around; ++i) {
      auto at = [&](int jj, int ii) { return static_cast<std::uint16_t>(jj * (around + 1) + ii); };
      for (std::uint16_t k :
           {at(j, i), at(j, i + 1), at(j + 1, i + 1), at(j, i), at(j + 1, i + 1), at(j + 1, i)}) {
        g.indices.push_back(k);
      }
    }
  }
  return g;
}

GeosetData ball(float radius, float height, int detail) {
  return revolved(2 * detail, detail, [=](float t, float* r, float* z, float* nr, float* nz) {
    float polar = kPi * (t - 0.5f);
    *r = radius * std::cos(polar);
    *z = height + radius * std::sin(polar);
    *nr = std::cos(polar);
    *nz = std::sin(polar);
  });
}

}  // namespace

namespace {

// The colours of a picture brought to the 252 of a 6 x 7 x 6 cube, so that a
// palette holds them, as the palette kind's textures have theirs.
Pixels quantized(Pixels p) {
  const int levels[3] = {6, 7, 6};
  for (std::size_t i = 0; i < p.rgba.size(); ++i) {
    if (i % 4 == 3) continue;
    const int steps = levels[i % 4] - 1;
    const int level = (p.rgba[i] * steps + 127) / 255;
    p.rgba[i] = static_cast<unsigned char>(level * 255 / steps);
  }
  return p;
}

}  // namespace

Pixels painted_texture(unsigned seed, unsigned side, bool alpha) {
  std::mt19937 rng(seed);
  double base[3], shade[3];
  for (int k = 0; k < 3; ++k) {
    base[k] = 60 + rng() % 120;
    shade[k] = 20 + rng() % 50;
  }
  const double fx = 3 + rng() % 5, fy = 2 + rng() % 5;
  Pixels p{side, side, {}};
  p.rgba.reserve(std::size_t(side) * side * 4);
  for (unsigned y = 0; y < side; ++y) {
    for (unsigned x = 0; x < side; ++x) {
      const double u = double(x) / side, v = double(y) / side;
      // Broad strokes, a seam of cloth or plate, and the grain of paint.
      const double stroke =
          std::sin(6.283 * fx * u + 2 * std::sin(6.283 * v)) * std::cos(6.283 * fy * v);
      const bool seam = (x / 32 + y / 32) % 5 == 0;
      for (int k = 0; k < 3; ++k) {
        const double grain = double(rng() % 17) - 8;
        const double value = base[k] + shade[k] * stroke + (seam ? 35 : 0) + grain;
        p.rgba.push_back(static_cast<unsigned char>(std::clamp(value, 0.0, 255.0)));
      }
      // Alpha where it is used: solid inside, fading and cut out at the edges.
      const double edge = std::min(std::min(u, 1 - u), std::min(v, 1 - v)) * 8;
      const double a = alpha ? 255 * std::min(1.0, edge) - (rng() % 4 == 0 ? 60 : 0) : 255;
      p.rgba.push_back(static_cast<unsigned char>(std::clamp(a, 0.0, 255.0)));
    }
  }
  return p;
}

std::string texture_file(unsigned seed, unsigned side, bool jpeg) {
  const Pixels p = painted_texture(seed, side, seed % 2 == 0);
  return jpeg ? blp_jpeg(p, 8) : blp_palette(quantized(p), 8);
}

std::vector<std::pair<std::string, std::string>> shape_textures(unsigned seed) {
  std::vector<std::pair<std::string, std::string>> textures;
  for (unsigned part = 1; part <= 5; ++part) {
    textures.emplace_back("Textures/Part" + std::to_string(part) + ".blp",
                          texture_file(seed * 10 + part, 128, part % 2 == 0));
  }
  return textures;
}

namespace {

// The figure's bones: the body sways and bobs, the head turns on a cubic
// curve, the hat lifts on another; a second sequence stands still.
SkeletonData figure_skeleton(float s) {
  SkeletonData k;
  k.pivots = {{0, 0, 1.0f * s}, {0, 0, 2.0f * s}, {0, 0, 3.6f * s}};
  NodeData body{"BONE", "body", 0, 0xFFFFFFFFu, {}};
  body.tracks.push_back({"KGRT",
                         1,
                         -1,
                         {{0, {0, 0, 0, 1}, {}, {}},
                          {500, {0.17f, 0, 0, 0.985f}, {}, {}},
                          {1000, {0, 0, 0, 1}, {}, {}}}});
  body.tracks.push_back(
      {"KGTR",
       1,
       -1,
       {{0, {0, 0, 0}, {}, {}}, {500, {0, 0, 0.3f * s}, {}, {}}, {1000, {0, 0, 0}, {}, {}}}});
  NodeData head{"BONE", "head", 1, 0, {}};
  head.tracks.push_back({"KGRT",
                         2,
                         -1,
                         {{0, {0, 0, -0.38f, 0.925f}, {0, 0, 0, 0}, {0, 0, 0.5f, 0}},
                          {1000, {0, 0, 0.38f, 0.925f}, {0, 0, 0.5f, 0}, {0, 0, 0, 0}}}});
  NodeData hat{"HELP", "hat", 2, 1, {}};
  hat.tracks.push_back({"KGTR",
                        3,
                        -1,
                        {{0, {0, 0, 0}, {0, 0, 0}, {0, 0, 0.4f * s}},
                         {1000, {0, 0, 0.5f * s}, {0, 0, 0.1f * s}, {0, 0, 0.5f * s}}}});
  k.nodes = {body, head, hat};
  k.sequences = {{"Walk", 0, 1000, 270, 0, 0}, {"Stand", 2000, 3000, 0, 0, 0}};
  return k;
}

// Every vertex of a part of the bone that carries it.
void carried(GeosetData* g, std::uint32_t bone) {
  g->groups = {{bone}};
  g->vertex_groups.assign(g->vertices.size(), 0);
}

}  // namespace

std::string shape_model(unsigned seed, bool textured, bool skinned) {
  const float s = 1.0f + 0.1f * static_cast<float>(seed % 5);
  std::vector<GeosetData> parts = {
      ball(1.0f * s, 1.0f * s, 24),
      ball(0.7f * s, 2.3f * s, 20),
      ball(0.45f * s, 3.3f * s, 16),
      // A ring around the body.
      revolved(40, 16,
               [=](float t, float* r, float* z, float* nr, float* nz) {
                 float a = 2 * kPi * t;
                 *r = s * (0.95f + 0.12f * std::cos(a));
                 *z = s * (1.6f + 0.12f * std::sin(a));
                 *nr = std::cos(a);
                 *nz = std::sin(a);
               }),
      // A hat: a cone on a brim.
      revolved(32, 8,
               [=](float t, float* r, float* z, float* nr, float* nz) {
                 *r = s * (t < 0.2f ? 0.7f - t : 0.6f * (1.0f - t));
                 *z = s * (t < 0.2f ? 3.65f + 0.1f * t : 3.67f + 0.9f * (t - 0.2f));
                 *nr = 1.0f;
                 *nz = t < 0.2f ? 1.0f : 0.6f;
               }),
  };
  ModelDress dress;
  if (skinned) {
    dress.skeleton = figure_skeleton(s);
    const std::uint32_t bones[] = {0, 1, 1, 0, 2};
    for (std::size_t i = 0; i < parts.size(); ++i) carried(&parts[i], bones[i]);
  }
  if (textured) {
    dress.textures.clear();
    for (std::size_t i = 0; i < parts.size(); ++i) {
      dress.textures.push_back({0, "Textures\\Part" + std::to_string(i + 1) + ".blp"});
      dress.materials.push_back({{0, 0, static_cast<std::uint32_t>(i)}});
      parts[i].material = static_cast<std::uint32_t>(i);
    }
  }
  return build_model(parts, nullptr, dress);
}
