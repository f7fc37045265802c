// Writes the models of the Blender add-on's test with the test model builder,
// and what the add-on must make of them: each model's geosets' positions, as
// JSON.
//
//   mdx_blender_models DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model_builder.h"
#include "model_pose.h"
#include "skeleton_models.h"
#include "texture_builder.h"

namespace {

struct Model {
  const char* path;
  std::vector<GeosetData> geosets;
  ModelDress dress = ModelDress();
};

// A unit's look: the team colour under a two-sided, transparent skin, and a
// blended layer of the same texture.
ModelDress unit_dress() {
  ModelDress d;
  d.textures = {{1, ""}, {0, "Textures\\Footman.blp"}};
  d.materials = {{{0, 0, 0}, {1, 0x10, 1}}, {{2, 0, 1}}};
  return d;
}

// One material of one texture, for every geoset.
ModelDress textured(const char* path) {
  ModelDress d;
  d.textures = {{0, path}};
  d.materials = {{{0, 0, 0}}};
  return d;
}

std::vector<GeosetData> dressed(std::vector<GeosetData> geosets) {
  for (std::size_t g = 0; g < geosets.size(); ++g) geosets[g].material = g % 2;
  return geosets;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mdx_blender_models DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::vector<Model> models = {
      {"one/footman.mdx", dressed({make_geoset(3, 1), make_geoset(4, 2, 1.0f)}), unit_dress()},
      {"several/a.mdx", {make_geoset(5, 3, 2.0f)}, textured("Textures\\Shared.blp")},
      {"several/b.mdx",
       {make_geoset(6, 4, 3.0f), make_geoset(3, 1, 4.0f), make_geoset(4, 2)},
       textured("Textures\\Gone.blp")},
      {"folder/units/knight.mdx", {make_geoset(7, 5, 5.0f)}},
      {"folder/deep/tree.mdx", {make_geoset(3, 1, 6.0f)}},
  };
  ModelDress walking;
  walking.skeleton = walking_skeleton();
  const GeosetData skinned = skinned_geoset();
  std::string json = "{";
  for (const Model& m : models) {
    std::filesystem::create_directories((root / m.path).parent_path());
    std::ofstream(root / m.path, std::ios::binary) << build_model(m.geosets, nullptr, m.dress);
    json += std::string(json.size() > 1 ? ", " : "") + "\"" + m.path + "\": [";
    for (std::size_t g = 0; g < m.geosets.size(); ++g) {
      json += g ? ", [" : "[";
      for (std::size_t v = 0; v < m.geosets[g].vertices.size(); ++v) {
        const Vec3& p = m.geosets[g].vertices[v];
        char text[96];
        std::snprintf(text, sizeof text, "%s[%.9g, %.9g, %.9g]", v ? ", " : "", p.x, p.y, p.z);
        json += text;
      }
      json += "]";
    }
    json += "]";
  }
  // The unit's texture, 8 by 4 pixels, where the game keeps it.
  std::filesystem::create_directories(root / "one/Textures");
  std::ofstream(root / "one/Textures/Footman.blp", std::ios::binary)
      << blp_palette(test_picture(8, 4), 8);
  // A texture of a library folder, found only where the add-on names it.
  std::filesystem::create_directories(root / "library/Textures");
  std::ofstream(root / "library/Textures/Shared.blp", std::ios::binary)
      << blp_palette(test_picture(4, 4), 0);
  // A model cut short: the converter fails it, and it adds nothing.
  const std::string cut = build_model({make_geoset(3, 1)});
  std::ofstream(root / "folder/broken.mdx", std::ios::binary)
      << cut.substr(0, cut.find("PVTX") + 6);
  // A unit that walks, and where its vertices stand half a second into its
  // first sequence, in the model's axes, as Blender's are.
  std::filesystem::create_directories(root / "walking");
  std::ofstream(root / "walking/unit.mdx", std::ios::binary)
      << build_model({skinned}, nullptr, walking);
  const std::vector<Mat> m = model_matrices(walking.skeleton, -1, 500, 0, 1000);
  json += ", \"walking at 0.5 s\": [";
  for (std::size_t v = 0; v < skinned.vertices.size(); ++v) {
    const std::uint8_t group = skinned.vertex_groups[v];
    const auto p = model_vertex(
        walking.skeleton, m,
        group < skinned.groups.size() ? skinned.groups[group] : std::vector<std::uint32_t>{},
        skinned.vertices[v]);
    char text[96];
    std::snprintf(text, sizeof text, "%s[%.9g, %.9g, %.9g]", v ? ", " : "", p[0], -p[2], p[1]);
    json += text;
  }
  json += "]";
  std::ofstream(root / "expected.json") << json << "}\n";
  return 0;
}
