// Writes generated models for timing the converter: one model, or a tree of
// many in nested folders.
//
//   mdx_gen [--skinned] [--real|--large] OUT.mdx BYTES [SEED]
//   mdx_gen --walking OUT.mdx     the tests' walking unit, and OUT.mdx.json: its pose
//   mdx_gen [--textured|--missing|--team] [--real|--large] --tree DIR COUNT BYTES
//   mdx_gen [--textured] [--skinned] --shape OUT.mdx [SEED]   a figure of smooth parts, for
//                                               pictures; skinned, it sways
//
// --textured: the models have materials, and their BLP textures are written
// where a game's data keeps them. --missing: the same models, their folders
// six deep, without the textures; --team: those, with the game's team colour
// and glow in place of the textures, so that nothing is looked for.
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

// With --textured: each folder of ten models its own skin, and each set of a
// hundred a texture at the tree's root that its models share, as a game's
// data keeps them; 256 pixels a side, half of them JPEG.
bool write_tree_textures(const std::filesystem::path& root, const std::filesystem::path& folder,
                         long i) {
  const unsigned seed = static_cast<unsigned>(i);
  if (i % 100 == 0) {
    std::filesystem::create_directories(root / "Textures");
    const std::string set = "Set" + std::to_string(i / 100) + ".blp";
    if (!write_model(root / "Textures" / set, texture_file(seed, 256, true))) return false;
  }
  if (i % 10 != 0) return true;
  std::filesystem::create_directories(folder / "Textures");
  return write_model(folder / "Textures" / "Skin.blp", texture_file(seed + 1, 256, i % 20 == 0));
}

}  // namespace

int main(int argc, char** argv) {
  ModelKind kind = ModelKind::kNoise;
  int arg = 1;
  bool textured = false;
  std::string dress;  // "", "--missing" or "--team"
  if (arg < argc && std::strcmp(argv[arg], "--textured") == 0) textured = true, ++arg;
  if (arg < argc &&
      (std::strcmp(argv[arg], "--missing") == 0 || std::strcmp(argv[arg], "--team") == 0)) {
    dress = argv[arg++];
  }
  if (arg + 1 < argc && std::strcmp(argv[arg], "--walking") == 0) {
    const std::string out = argv[arg + 1];
    return write_model(out, walking_model()) && write_model(out + ".json", walking_pose()) ? 0 : 1;
  }
  bool skinned = false;
  if (arg < argc && std::strcmp(argv[arg], "--skinned") == 0) skinned = true, ++arg;
  if (arg < argc && std::strcmp(argv[arg], "--real") == 0) kind = ModelKind::kRealistic, ++arg;
  if (arg < argc && std::strcmp(argv[arg], "--large") == 0) kind = ModelKind::kLarge, ++arg;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--shape") == 0) {
    unsigned seed = arg + 2 < argc ? static_cast<unsigned>(std::atoi(argv[arg + 2])) : 1u;
    const std::filesystem::path model = argv[arg + 1];
    for (const auto& [path, bytes] :
         textured ? shape_textures(seed) : decltype(shape_textures(0)){}) {
      std::filesystem::create_directories((model.parent_path() / path).parent_path());
      if (!write_model(model.parent_path() / path, bytes)) return 1;
    }
    return write_model(model, shape_model(seed, textured, skinned)) ? 0 : 1;
  }
  if (arg + 3 < argc && std::strcmp(argv[arg], "--tree") == 0) {
    // COUNT models of about BYTES each, ten to a folder, folders three deep.
    const std::filesystem::path root = argv[arg + 1];
    const long count = std::atol(argv[arg + 2]);
    const std::size_t bytes = std::strtoull(argv[arg + 3], nullptr, 10);
    for (long i = 0; i < count; ++i) {
      std::filesystem::path folder =
          root / ("set" + std::to_string(i / 100)) / ("unit" + std::to_string(i / 10 % 10));
      if (!dress.empty()) folder = folder / "art" / "models" / "high";
      std::filesystem::create_directories(folder);
      std::string name = "model" + std::to_string(i) + (i % 7 == 0 ? ".MDX" : ".mdx");
      if (textured && !write_tree_textures(root, folder, i)) return 1;
      const std::string set = "Textures\\Set" + std::to_string(i / 100) + ".blp";
      const std::string skin = dress == "--team" ? kTeamOnly : "Textures\\Skin.blp";
      const std::string model =
          textured || !dress.empty()
              ? dressed_model(bytes, static_cast<unsigned>(i + 1), kind, skin, set)
              : generate_model(bytes, static_cast<unsigned>(i + 1), kind);
      if (!write_model(folder / name, model)) return 1;
    }
    return 0;
  }
  if (arg + 2 > argc) {
    std::fprintf(stderr,
                 "usage: mdx_gen [--skinned] [--real|--large] OUT.mdx BYTES [SEED]\n"
                 "       mdx_gen --walking OUT.mdx    and OUT.mdx.json, its pose at 0.5 s\n"
                 "       mdx_gen [--textured|--missing|--team] [--real|--large] --tree DIR COUNT "
                 "BYTES\n"
                 "       mdx_gen [--textured] [--skinned] --shape OUT.mdx [SEED]\n");
    return 2;
  }
  const std::size_t bytes = std::strtoull(argv[arg + 1], nullptr, 10);
  unsigned seed = arg + 2 < argc ? static_cast<unsigned>(std::atoi(argv[arg + 2])) : 1u;
  return write_model(argv[arg],
                     skinned ? skinned_model(bytes, seed, kind) : generate_model(bytes, seed, kind))
             ? 0
             : 1;
}
