// Writes an MDX model of about the given size for timing the converter:
// geosets of a few thousand vertices with their index and texture blocks,
// inside header, texture, animation and bone chunks of realistic bulk.
//
//   mdx_gen OUT.mdx BYTES [SEED]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "model_builder.h"

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

GeosetData random_geoset(std::mt19937& rng) {
  std::uniform_real_distribution<float> coord(-250.0f, 250.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  GeosetData g;
  int n = 500 + static_cast<int>(rng() % 4000);
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
  w.tag("BONE");
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

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mdx_gen OUT.mdx BYTES [SEED]\n");
    return 2;
  }
  const std::size_t target = std::strtoull(argv[2], nullptr, 10);
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);

  std::vector<GeosetData> geosets;
  std::size_t estimate = 2000;
  // Three quarters geosets, one quarter other chunks, as in character models.
  while (estimate < target * 3 / 4) {
    geosets.push_back(random_geoset(rng));
    const GeosetData& g = geosets.back();
    estimate += 200 + g.vertices.size() * (12 + 12 + 8 + 1) + g.indices.size() * 2;
  }
  ByteWriter w;
  w.bytes = build_model(geosets);
  if (w.size() < target) write_animation_chunk(w, rng, target - w.size() - 8);

  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(w.bytes.data(), static_cast<std::streamsize>(w.bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "mdx_gen: %s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
