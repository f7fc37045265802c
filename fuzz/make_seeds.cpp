// Writes the fuzzer's first corpus: models from the test builder, each behind
// the byte that picks the window size.
//
//   mdx_make_seeds DIR
#include <fstream>
#include <string>
#include <vector>

#include "model_builder.h"

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
  int n = 0;
  for (const auto& geosets : models) {
    std::string bytes = build_model(geosets);
    for (char window : {'\0', '\x07'}) {
      std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(n++), std::ios::binary);
      out << window << bytes;
    }
  }
  return 0;
}
