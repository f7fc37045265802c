// Writes generated models for timing the converter: one model, or a tree of
// many in nested folders.
//
//   mdx_gen [--real|--large] OUT.mdx BYTES [SEED]
//   mdx_gen [--real|--large] --tree DIR COUNT BYTES
//   mdx_gen --shape OUT.mdx [SEED]          a figure of smooth parts, for pictures
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "generate.h"

namespace {

bool write_model(const std::filesystem::path& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "mdx_gen: %s: cannot write\n", name.string().c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  ModelKind kind = ModelKind::kNoise;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--real") == 0) kind = ModelKind::kRealistic, ++arg;
  if (arg < argc && std::strcmp(argv[arg], "--large") == 0) kind = ModelKind::kLarge, ++arg;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--shape") == 0) {
    unsigned seed = arg + 2 < argc ? static_cast<unsigned>(std::atoi(argv[arg + 2])) : 1u;
    return write_model(argv[arg + 1], shape_model(seed)) ? 0 : 1;
  }
  if (arg + 3 < argc && std::strcmp(argv[arg], "--tree") == 0) {
    // COUNT models of about BYTES each, ten to a folder, folders three deep.
    const std::filesystem::path root = argv[arg + 1];
    const long count = std::atol(argv[arg + 2]);
    const std::size_t bytes = std::strtoull(argv[arg + 3], nullptr, 10);
    for (long i = 0; i < count; ++i) {
      std::filesystem::path folder =
          root / ("set" + std::to_string(i / 100)) / ("unit" + std::to_string(i / 10 % 10));
      std::filesystem::create_directories(folder);
      std::string name = "model" + std::to_string(i) + (i % 7 == 0 ? ".MDX" : ".mdx");
      if (!write_model(folder / name, generate_model(bytes, static_cast<unsigned>(i + 1), kind))) {
        return 1;
      }
    }
    return 0;
  }
  if (arg + 2 > argc) {
    std::fprintf(stderr,
                 "usage: mdx_gen [--real|--large] OUT.mdx BYTES [SEED]\n"
                 "       mdx_gen [--real|--large] --tree DIR COUNT BYTES\n"
                 "       mdx_gen --shape OUT.mdx [SEED]\n");
    return 2;
  }
  const std::size_t bytes = std::strtoull(argv[arg + 1], nullptr, 10);
  unsigned seed = arg + 2 < argc ? static_cast<unsigned>(std::atoi(argv[arg + 2])) : 1u;
  return write_model(argv[arg], generate_model(bytes, seed, kind)) ? 0 : 1;
}
