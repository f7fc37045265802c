// Writes the fuzzers' first corpora: models from the test builder, each behind
// the byte that picks the window size (the geoset, chunk and skeleton walks), and
// textures of every kind behind the byte that picks their reader.
//
//   mdx_make_seeds MODEL_DIR [TEXTURE_DIR]
#include <fstream>
#include <string>
#include <vector>

#include "model_builder.h"
#include "skeleton_models.h"
#include "texture_builder.h"

namespace {

void write_seed(const std::string& dir, int n, char first, const std::string& bytes) {
  std::ofstream out(dir + "/seed-" + std::to_string(n), std::ios::binary);
  out << first << bytes;
}

void texture_seeds(const std::string& dir) {
  const Pixels p = test_picture(8, 4);
  int n = 0;
  for (std::uint32_t alpha : {0u, 1u, 4u, 8u}) write_seed(dir, n++, '\0', blp_palette(p, alpha));
  write_seed(dir, n++, '\0', blp_jpeg(p, 8));
  write_seed(dir, n++, '\0', blp_jpeg(p, 0, 0));
  write_seed(dir, n++, '\1', tga(p, 24, false, false));
  write_seed(dir, n++, '\1', tga(p, 32, true, true));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::vector<std::vector<GeosetData>> models = {
      {make_geoset(3, 1)},
      {make_geoset(4, 2), make_geoset(3, 1, 2.0f)},
      {make_geoset(0, 0)},
  };
  models[1][0].tex_blocks = 2;
  GeosetData borrower = make_geoset(3, 1);
  borrower.tex_blocks = 0;
  models.push_back({borrower, make_geoset(5, 3)});
  GeosetData faceless = make_geoset(2, 0);
  faceless.has_index_block = false;
  models.push_back({faceless});
  ModelDress dressed;
  dressed.textures = {{1, ""}, {0, "Textures\\Footman.blp"}};
  dressed.materials = {{{0, 0, 0}, {1, 0x10, 1}}, {{2, 0, 1}}};
  ModelDress walking;
  walking.skeleton = walking_skeleton();
  int n = 0;
  for (char window : {'\0', '\x07'}) {
    write_seed(argv[1], n++, window, build_model({skinned_geoset()}, nullptr, walking));
  }
  for (const auto& geosets : models) {
    for (const ModelDress& dress : {ModelDress(), dressed}) {
      std::string bytes = build_model(geosets, nullptr, dress);
      for (char window : {'\0', '\x07'}) write_seed(argv[1], n++, window, bytes);
    }
  }
  if (argc > 2) texture_seeds(argv[2]);
  return 0;
}
