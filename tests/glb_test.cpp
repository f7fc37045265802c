#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "glb_read.h"
#include "png_read.h"
#include "run_fixture.h"
#include "texture_builder.h"

namespace {

namespace fs = std::filesystem;

// Every GLB a test made passes the validator.
struct GlbFixture : RunFixture {
  void TearDown() override { validate_glbs(dir.path); }
  Glb glb(const std::string& name) { return read_glb(file(name)); }
};

std::string six(double v) { return fixed(v); }

// The OBJ's records that a GLB holds the same way, from the GLB: positions,
// texture coordinates with the OBJ's v flipped back, and faces numbered
// across the geosets.
std::string obj_records_of(const Glb& glb) {
  std::string v, vt, faces;
  std::uint64_t base = 0;
  for (const auto& mesh : glb.json["meshes"]) {
    const auto& p = mesh["primitives"][0];
    const std::vector<double> pos = accessor_values(glb, p["attributes"]["POSITION"]);
    const std::vector<double> tex = accessor_values(glb, p["attributes"]["TEXCOORD_0"]);
    const std::vector<double> idx = accessor_values(glb, p["indices"]);
    for (std::size_t i = 0; i < pos.size(); i += 3) {
      v += "v " + six(pos[i]) + " " + six(pos[i + 1]) + " " + six(pos[i + 2]) + "\n";
    }
    for (std::size_t i = 0; i < tex.size(); i += 2) {
      vt += "vt " + six(tex[i]) + " " + six(1.0 - tex[i + 1]) + "\n";
    }
    for (std::size_t i = 0; i < idx.size(); ++i) {
      const std::string n = std::to_string(std::uint64_t(idx[i]) + base + 1);
      faces += (i % 3 ? " " : "f ") + n + "/" + n + "/" + n + (i % 3 == 2 ? "\n" : "");
    }
    base += pos.size() / 3;
  }
  return v + vt + faces;
}

// The same records of an OBJ, in the same order.
std::string obj_records(const std::string& obj) {
  std::istringstream in(obj);
  std::string v, vt, faces, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("v ", 0) == 0) v += line + "\n";
    if (line.rfind("vt ", 0) == 0) vt += line + "\n";
    if (line.rfind("f ", 0) == 0) faces += line + "\n";
  }
  return v + vt + faces;
}

TEST_F(GlbFixture, GeometryAsTheObjHasIt) {
  std::vector<GeosetData> g = {make_geoset(4, 2), make_geoset(5, 3, 8.0f), make_geoset(3, 0)};
  // A geoset without faces: a node without a mesh.
  put("unit.mdx", build_model(g));
  ASSERT_EQ(run("--format glb --scale 0.5 unit.mdx"), 0) << err();
  EXPECT_EQ(err(), "unit.mdx -> " + made("unit.glb") + ": 3 geosets, 12 vertices, 5 triangles\n");
  // The OBJ of the geosets with faces, turned and scaled as a GLB is.
  put("faces.mdx", build_model({g[0], g[1]}));
  ASSERT_EQ(run("-o faces.obj --up y --scale 0.5 faces.mdx"), 0);
  const Glb glb = read_glb(file("unit.glb"));
  EXPECT_EQ(obj_records_of(glb), obj_records(file("faces.obj")));
  EXPECT_EQ(glb.json["meshes"][1]["name"], "geoset_2");
  const nlohmann::json& j = glb.json;
  EXPECT_EQ(j["asset"]["version"], "2.0");
  EXPECT_EQ(j["asset"]["generator"], "mdx2obj " MDX2OBJ_VERSION);
  EXPECT_EQ(j["nodes"].dump(),
            R"([{"mesh":0,"name":"geoset_1"},{"mesh":1,"name":"geoset_2"},{"name":"geoset_3"}])");
  EXPECT_EQ(j["scenes"][0]["nodes"].dump(), "[0,1,2]");
  const auto& first = j["meshes"][0]["primitives"][0];
  EXPECT_EQ(j["accessors"][first["indices"].get<int>()]["componentType"], 5123);
  const auto& position = j["accessors"][first["attributes"]["POSITION"].get<int>()];
  EXPECT_EQ(position["min"].dump(), "[0.0,0.75,0.0]");
  EXPECT_EQ(position["max"].dump(), "[0.375,0.75,0.375]");
  // Normals (0, 0.5, -1) turned (x, z, -y) and of unit length.
  const std::vector<double> n = accessor_values(glb, first["attributes"]["NORMAL"]);
  EXPECT_EQ(n[0], 0.0);
  EXPECT_FLOAT_EQ(n[1], -1 / std::sqrt(1.25));
  EXPECT_FLOAT_EQ(n[2], -0.5 / std::sqrt(1.25));
  // Standard output takes the same bytes; a terminal would not.
  ASSERT_EQ(run("--format=glb --scale 0.5 -o - unit.mdx > out.glb"), 0) << err();
  EXPECT_EQ(file("out.glb"), file("unit.glb"));
  ASSERT_EQ(run("-o NAMED.GLB --scale 0.5 unit.mdx"), 0) << err();
  EXPECT_EQ(file("NAMED.GLB"), file("unit.glb"));
}

// A model of a MiB or more has its GLB written by a thread of its own while
// one job converts it: the same bytes as two jobs make, a failed write told.
TEST_F(GlbFixture, ALargeModelAsEveryJobCountWritesIt) {
  put("large.mdx", build_model({make_geoset(60000, 20000), make_geoset(30000, 100, 2.0f)}));
  put("small.mdx", build_model({make_geoset(3, 1)}));
  ASSERT_EQ(run("-q -o alone.glb large.mdx"), 0) << err();
  ASSERT_EQ(run("-q --format glb -j 2 large.mdx small.mdx"), 0) << err();
  EXPECT_GT(file("alone.glb").size(), std::size_t(2) << 20);
  EXPECT_EQ(file("alone.glb"), file("large.glb"));
  if (*kFullDevice) {
    EXPECT_EQ(run(std::string("-q --format glb -o ") + kFullDevice + " large.mdx"), 1);
    EXPECT_EQ(err(),
              "mdx2obj: " + std::string(kFullDevice) + ": write failed: No space left on device\n");
  }
}

// The materials of the MTL, in glTF's terms, and the images that -m writes
// inside the GLB: a BLP as the same PNG, a JPEG as it is, a PNG without the
// chunks that are not its pixels, a CMYK JPEG decoded.
TEST_F(GlbFixture, MaterialsAndImagesAsTheMtlHasThem) {
  const Pixels p = test_picture(8, 4);
  put("Textures/Skin.blp", blp_palette(p, 8));
  put("Textures/Photo.jpg", rgb_jpeg(p));
  put("Textures/Cmyk.jpg", blp_jpeg(p, 0).substr(160));
  ModelDress d;
  d.textures = {{1, ""},
                {0, "Textures\\Skin.blp"},
                {0, "Textures\\Photo.jpg"},
                {0, "Textures\\Extra.png"},
                {0, "Textures\\Cmyk.jpg"},
                {0, "Textures\\Missing.blp"}};
  d.materials = {{{0, 0, 0}, {1, 0x10, 1}},
                 {{2, 0x1, 2}},
                 {{1, 0, 3}},
                 {{4, 0, 4}},
                 {{0, 0x10, 0}},
                 {{0, 0, 5}}};
  std::vector<GeosetData> g;
  for (std::uint32_t m : {0u, 1u, 2u, 3u, 4u, 5u, 9u}) {
    g.push_back(make_geoset(3, 1, float(m)));
    g.back().material = m;
  }
  put("art/unit.mdx", build_model(g, nullptr, d));
  ASSERT_EQ(run("-q -m -d objs art/unit.mdx"), 0) << err();
  // A PNG texture with a gamma chunk after its header.
  const std::string png = file("objs/Textures/Skin.png");
  const std::string gamma = std::string("\0\0\0\4gAMA\0\0\xB1\x8F\0\0\0\0", 16);
  put("Textures/Extra.png", png.substr(0, 33) + gamma + png.substr(33));
  ASSERT_EQ(run("-q -m -d objs art/unit.mdx"), 0) << err();
  const std::string mtl_warnings = err();
  EXPECT_EQ(mtl_warnings,
            "mdx2obj: " + made("art/unit.mdx") + ": texture Textures/Missing.blp: not found\n");
  ASSERT_EQ(run("-q --format glb art/unit.mdx"), 0) << err();
  EXPECT_EQ(err(), mtl_warnings);
  EXPECT_FALSE(file_exists(dir.path / "art/Textures"));  // nothing beside the GLB
  // Its record lists the textures it embeds, as the line of its conversion.
  std::string embedded = "\"textures\": [";
  for (const char* t : {"Skin.blp", "Photo.jpg", "Extra.png", "Cmyk.jpg"}) {
    embedded += std::string(t[0] == 'S' ? "" : ", ") + "\"" + json_made("Textures/") + t + "\"";
  }
  embedded += "]";
  for (const char* line : {"converted", "up-to-date"}) {
    ASSERT_EQ(run("-u --json --format glb art/unit.mdx > json 2> " + std::string(kNullDevice)), 0);
    const std::string json = text("json");
    EXPECT_NE(json.find(line), std::string::npos) << json;
    EXPECT_NE(json.find(embedded), std::string::npos) << json;
  }
  const Glb glb = read_glb(file("art/unit.glb"));
  const nlohmann::json& j = glb.json;
  ASSERT_EQ(j["images"].size(), 4u);
  const struct {
    const char* name;
    const char* mime;
    std::string bytes;
  } images[] = {{"Textures/Skin.blp", "image/png", png},
                {"Textures/Photo.jpg", "image/jpeg", file("Textures/Photo.jpg")},
                {"Textures/Extra.png", "image/png", png},
                {"Textures/Cmyk.jpg", "image/png", ""}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(j["images"][i]["name"], images[i].name);
    EXPECT_EQ(j["images"][i]["mimeType"], images[i].mime);
    const std::string bytes = view_bytes(glb, j["images"][i]["bufferView"]);
    if (!images[i].bytes.empty()) {
      EXPECT_EQ(bytes, images[i].bytes) << images[i].name;
    }
    EXPECT_EQ(j["textures"][i].dump(), R"({"sampler":0,"source":)" + std::to_string(i) + "}");
  }
  // Four components stored as the BLP's are, B, G, R, A: each colour scaled
  // by the fourth, as an inverted CMYK file's.
  put("cmyk.png", view_bytes(glb, j["images"][3]["bufferView"]));
  const Pixels cmyk = read_png(dir.file("cmyk.png"));
  ASSERT_EQ(cmyk.width * 100 + cmyk.height, 804u);
  int worst = 0;
  for (std::size_t i = 0; i < cmyk.rgba.size(); ++i) {
    const unsigned char* px = &p.rgba[i / 4 * 4];
    const int want = i % 4 == 3 ? 255 : px[2 - i % 4] * px[3] / 255;
    worst = std::max(worst, std::abs(cmyk.rgba[i] - want));
  }
  EXPECT_LE(worst, 8);
  EXPECT_EQ(j["samplers"].dump(),
            R"([{"magFilter":9729,"minFilter":9729,"wrapS":10497,"wrapT":10497}])");
  const std::string white = R"("baseColorFactor":[1.0,1.0,1.0,1.0])";
  const std::string rough = R"("metallicFactor":0.0,"roughnessFactor":1.0)";
  const std::string materials[] = {
      // The skin is its second layer: no alpha mode, but its two sides.
      R"({"doubleSided":true,"name":"material_1","pbrMetallicRoughness":{)" + white +
          R"(,"baseColorTexture":{"index":0},)" + rough + "}}",
      R"({"alphaMode":"BLEND","extensions":{"KHR_materials_unlit":{}},"name":"material_2",)"
      R"("pbrMetallicRoughness":{)" +
          white + R"(,"baseColorTexture":{"index":1},)" + rough + "}}",
      R"({"alphaMode":"MASK","name":"material_3","pbrMetallicRoughness":{)" + white +
          R"(,"baseColorTexture":{"index":2},)" + rough + "}}",
      R"({"alphaMode":"BLEND","name":"material_4","pbrMetallicRoughness":{)" + white +
          R"(,"baseColorTexture":{"index":3},)" + rough + "}}",
      R"({"doubleSided":true,"name":"material_5","pbrMetallicRoughness":{"baseColorFactor":)"
      R"([1.0,0.011765,0.011765,1.0],)" +
          rough + "}}",
      R"({"name":"material_6","pbrMetallicRoughness":{)" + white + "," + rough + "}}",
  };
  ASSERT_EQ(j["materials"].size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(j["materials"][i].dump(), materials[i]);
  EXPECT_EQ(j["extensionsUsed"].dump(), R"(["KHR_materials_unlit"])");
#ifndef _WIN32
  // A name that is no UTF-8 is read as Latin-1.
  put("Textures/Caf\xE9.blp", blp_palette(p, 0));
  ModelDress latin;
  latin.textures = {{0, "Textures\\Caf\xE9.blp"}};
  latin.materials = {{{0, 0, 0}}};
  put("latin.mdx", build_model({make_geoset(3, 1)}, nullptr, latin));
  ASSERT_EQ(run("--format glb latin.mdx"), 0) << err();
  EXPECT_EQ(read_glb(file("latin.glb")).json["images"][0]["name"], "Textures/Caf\xC3\xA9.blp");
#endif
  for (std::size_t i = 0; i < 7; ++i) {
    const nlohmann::json& primitive = j["meshes"][i]["primitives"][0];
    EXPECT_EQ(primitive.contains("material") ? int(primitive["material"]) : -1,
              i < 6 ? int(i) : -1);
  }
}

// What a GLB cannot hold as the model has it is made valid, a warning each
// once a model; a cut model keeps its whole geosets.
TEST_F(GlbFixture, WhatAGlbCannotHoldIsWarned) {
  const float nan = std::nanf("");
  std::vector<GeosetData> g = {make_geoset(4, 2), make_geoset(4, 2), make_geoset(3, 1)};
  g[0].indices.insert(g[0].indices.end(), {0, 1, 4});  // 4: past its vertices
  g[0].vertices[1].y = nan;
  g[0].tex_coords[2].u = std::numeric_limits<float>::infinity();
  g[0].normals[3] = {0, 0, 0};
  g[1].normals.pop_back();            // one normal short
  g[1].tex_coords.push_back({1, 1});  // one coordinate too many
  g[2].tex_blocks = 0;                // none of its own: the walk ends at it
  put("odd.mdx", build_model(g));
  ASSERT_EQ(run("--format glb odd.mdx"), 0) << err();
  EXPECT_EQ(err(),
            "mdx2obj: odd.mdx: triangles dropped: an index past its geoset\n"
            "mdx2obj: odd.mdx: coordinates that are not finite written as 0\n"
            "mdx2obj: odd.mdx: normals of no direction written as (0, 1, 0)\n"
            "mdx2obj: odd.mdx: normals or texture coordinates not one a vertex: filled or dropped\n"
            "odd.mdx -> " +
                made("odd.glb") + ": 3 geosets, 11 vertices, 5 triangles\n");
  const Glb glb = read_glb(file("odd.glb"));
  const auto& a = glb.json["meshes"];
  const auto values = [&](std::size_t mesh, const char* attribute) {
    const auto& p = a[mesh]["primitives"][0];
    return accessor_values(glb, attribute ? p["attributes"][attribute] : p["indices"]);
  };
  EXPECT_EQ(values(0, nullptr), (std::vector<double>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(values(0, "POSITION")[5], 0.0);  // the NaN y, now z
  EXPECT_EQ(values(0, "TEXCOORD_0")[4], 0.0);
  for (std::size_t mesh : {0, 1}) {
    const std::vector<double> normals = values(mesh, "NORMAL");
    ASSERT_EQ(normals.size(), 12u);
    EXPECT_EQ(std::vector<double>(normals.begin() + 9, normals.end()),
              (std::vector<double>{0, 1, 0}));
  }
  EXPECT_EQ(values(1, "TEXCOORD_0").size(), 8u);
  EXPECT_EQ(values(2, "TEXCOORD_0"), std::vector<double>(6, 0.0));
  // An index of 65535 takes 32-bit indices.
  GeosetData wide = make_geoset(65536, 1);
  wide.indices = {0, 65535, 1};
  put("wide.mdx", build_model({wide}));
  ASSERT_EQ(run("-o wide.glb wide.mdx"), 0) << err();
  const Glb w = read_glb(file("wide.glb"));
  const auto& indices =
      w.json["accessors"][w.json["meshes"][0]["primitives"][0]["indices"].get<int>()];
  EXPECT_EQ(indices["componentType"], 5125);
  // A normal past the vertices is dropped, whatever it is; a coordinate that
  // is not finite is told alone.
  GeosetData extra = make_geoset(3, 1);
  extra.normals.push_back({0, 0, 0});
  extra.tex_coords[1].v = std::numeric_limits<float>::infinity();
  put("extra.mdx", build_model({extra}));
  ASSERT_EQ(run("-q --format glb extra.mdx"), 0) << err();
  EXPECT_EQ(
      err(),
      "mdx2obj: extra.mdx: coordinates that are not finite written as 0\n"
      "mdx2obj: extra.mdx: normals or texture coordinates not one a vertex: filled or dropped\n");
  // Cut inside the second geoset, after its first triangle: the GLB of the
  // first, and the line says so; what the second lacks is none of its faults.
  std::vector<GeosetOffsets> at;
  GeosetData short_of_normals = make_geoset(4, 2);
  short_of_normals.normals.pop_back();
  const std::string whole = build_model({make_geoset(3, 1), short_of_normals}, &at);
  put("cut.mdx", whole.substr(0, at[1].index_tag + 16));
  EXPECT_EQ(run("--format glb cut.mdx"), 1);
  EXPECT_EQ(err(), "mdx2obj: cut.mdx: file ends inside the indices at offset " +
                       std::to_string(at[1].index_tag + 14) + " (" + made("cut.glb") +
                       " is partial)\n");
  EXPECT_EQ(read_glb(file("cut.glb")).json["nodes"].size(), 1u);
  // A geoset that claims four billion vertices: read as far as the file
  // holds, none of them kept, a GLB of no geosets.
  std::string liar = build_model({make_geoset(3, 1)}, &at);
  for (int k = 0; k < 4; ++k) liar[at[0].vertex_tag + 4 + k] = '\xFF';
  put("liar.mdx", liar);
  EXPECT_EQ(run("--format glb liar.mdx"), 1);
  EXPECT_NE(err().find("file ends inside the vertex positions"), std::string::npos) << err();
  EXPECT_FALSE(read_glb(file("liar.glb")).json.contains("nodes"));
}

// Textures the GLB cannot embed as they are: told as damaged.
TEST_F(GlbFixture, DamagedTexturesAreWarnings) {
  put("Textures/Skin.blp", blp_palette(test_picture(4, 4), 0));
  ModelDress d;
  d.textures = {{0, "Textures\\Skin.blp"}};
  d.materials = {{{0, 0, 0}}};
  put("skin.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q -m skin.mdx"), 0) << err();
  const std::string png = file("Textures/Skin.png");
  const struct {
    const char* name;
    std::string bytes, warning;
  } cases[] = {
      {"Sign.png", png.substr(0, 8), "damaged (the PNG has no IEND)"},
      {"Head.png", png.substr(0, 33), "damaged (the PNG has no IEND)"},
      {"Cut.png", png.substr(0, 40), "damaged (a PNG chunk is cut short)"},
      {"Long.png", "\x89PNG\r\n\x1A\n\x7F" + png.substr(9),
       "damaged (a PNG chunk runs past the end of the file)"},
      {"Bad.jpg", "\xFF\xD8\xFF\xE0 not a JPEG", "damaged (JPEG: "},
  };
  for (const auto& c : cases) {
    put(std::string("Textures/") + c.name, c.bytes);
    d.textures = {{0, std::string("Textures\\") + c.name}};
    put("bad.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
    ASSERT_EQ(run("--format glb bad.mdx"), 0) << c.name;
    EXPECT_EQ(
        err().rfind("mdx2obj: bad.mdx: texture Textures/" + std::string(c.name) + ": " + c.warning,
                    0),
        0u)
        << err();
  }
  // A GLB without a binary chunk, and one that cannot be written.
  put("bare.mdx", build_model({make_geoset(3, 0)}));
  ASSERT_EQ(run("-q --format glb bare.mdx"), 0) << err();
  EXPECT_EQ(read_glb(file("bare.glb")).bin, "");
  if (*kFullDevice) {
    EXPECT_EQ(run(std::string("--format glb -o ") + kFullDevice + " bare.mdx"), 1);
    EXPECT_NE(err().find(kFullDevice), std::string::npos) << err();
  }
}

TEST_F(GlbFixture, OptionsAGlbDoesNotTake) {
  put("unit.mdx", build_model({make_geoset(3, 1)}));
  const struct {
    std::string args, message;
  } cases[] = {
      {"--format gltf unit.mdx", "--format takes obj or glb, not gltf"},
      {"--format", "--format takes obj or glb"},
      {"--format glb --up y unit.mdx", "--up does not go with glb: a GLB is always Y up"},
      {"-o x.glb --up z unit.mdx", "--up does not go with glb: a GLB is always Y up"},
      {"--format glb --objects unit.mdx",
       "--objects does not go with glb: each geoset is a node of a GLB"},
      {"--format glb -m unit.mdx", "-m does not go with glb: a GLB always carries its materials"},
      {"--bake 30 unit.mdx", "--bake goes with --format glb: an OBJ does not move"},
      {"--format glb --bake 0 unit.mdx",
       "--bake takes a number of samples a second from 1 to 1000, not 0"},
      {"--format glb --bake=1001 unit.mdx",
       "--bake takes a number of samples a second from 1 to 1000, not 1001"},
      {"--format glb --bake", "--bake needs a number of samples a second"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), 2) << c.args;
    EXPECT_EQ(err(), "mdx2obj: " + c.message +
                         "\nusage: mdx2obj [OPTIONS] PATH... (mdx2obj --help tells more)\n")
        << c.args;
  }
  // A format given wins over the name; --textures needs no -m.
  ASSERT_EQ(run("--format obj -o named.glb --up y unit.mdx"), 0) << err();
  EXPECT_EQ(file("named.glb").substr(0, 2), "v ");
  fs::remove(dir.path / "named.glb");  // no GLB for the validator
  fs::create_directories(dir.path / "t");
  EXPECT_EQ(run("--format glb --textures t unit.mdx"), 0) << err();
}

// A GLB goes where its OBJ would, and a run of either format keeps to its own
// files: -u converts a model again for the other format, --delete removes
// only its own format's files.
TEST_F(GlbFixture, NamesAndRerunsOfEachFormat) {
  put("art/a.mdx", build_model({make_geoset(3, 1)}));
  put("art/deep/b.MDX", build_model({make_geoset(4, 2)}));
  ASSERT_EQ(run("-u -r -d out art"), 0) << err();
  ASSERT_EQ(run("-u -r --format glb -d out art --json > json"), 0) << err();
  const std::string json = text("json");
  EXPECT_NE(json.find("\"model\": \"" + json_made("art/deep/b.MDX") + "\", \"output\": \"" +
                      json_made("out/deep/b.glb") + "\", \"status\": \"converted\""),
            std::string::npos)
      << json;
  EXPECT_NE(
      json.find("\"output_bytes\": " + std::to_string(file("out/a.glb").size()) + ", \"seconds\""),
      std::string::npos)
      << json;
  EXPECT_EQ(json.find("obj"), std::string::npos) << json;
  ASSERT_EQ(run("-u -n -r --format glb -d out art > out.txt"), 0);
  EXPECT_EQ(text("out.txt"), "");
  ASSERT_EQ(run("-u -n -r --format glb --scale 2 -d out art > out.txt"), 0);
  EXPECT_EQ(text("out.txt"), made("art/a.mdx") + " -> " + made("out/a.glb") + ": options\n" +
                                 made("art/deep/b.MDX") + " -> " + made("out/deep/b.glb") +
                                 ": options\n");
  fs::remove(dir.path / "art/a.mdx");
  ASSERT_EQ(run("-u -r --format glb --delete -d out art"), 0) << err();
  EXPECT_FALSE(file_exists(dir.path / "out/a.glb"));
  EXPECT_TRUE(file_exists(dir.path / "out/a.obj"));
  ASSERT_EQ(run("-u -r --delete -d out art"), 0) << err();
  EXPECT_FALSE(file_exists(dir.path / "out/a.obj"));
  EXPECT_TRUE(file_exists(dir.path / "out/deep/b.glb"));
  EXPECT_EQ(err(), "mdx2obj: " + made("out/a.obj") +
                       ": removed, its model is gone\n"
                       "1 model: 0 converted, 1 up to date, 1 removed (T s, 0 bytes of OBJ)\n");
}

}  // namespace
