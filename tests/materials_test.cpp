#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/little_endian.h"
#include "mdx/chunk_walk.h"
#include "obj/mtl_text.h"
#include "png_read.h"
#include "run_fixture.h"
#include "test_util.h"
#include "texture/texture_find.h"
#include "texture/texture_make.h"
#include "texture_builder.h"

namespace {

namespace fs = std::filesystem;

ModelChunks chunks_of(const std::string& bytes) {
  std::stringbuf in(bytes);
  ModelSource src;
  attach_model_source(&src, &in, 64);
  ModelChunks chunks;
  std::string err;
  EXPECT_TRUE(walk_chunks(src, &chunks, &err)) << err;
  return chunks;
}

// A unit as the game dresses it: a team-coloured first layer with the skin
// over it; a blended layer of its own; the team glow alone; a replaceable
// texture the game supplies; an additive layer of its own.
ModelDress unit_dress(std::uint32_t version = 800) {
  ModelDress d;
  d.version = version;
  d.textures = {
      {1, ""}, {0, "Textures\\Footman.blp"}, {2, ""}, {0, "Textures\\CapeZ.blp"}, {11, ""}};
  d.materials = {{{0, 0, 0}, {1, 0x10, 1}}, {{2, 0, 3}}, {{3, 0, 2}}, {{0, 0, 4}}, {{3, 0, 3}}};
  return d;
}

std::vector<GeosetData> unit_geosets() {
  std::vector<GeosetData> g = {make_geoset(4, 2), make_geoset(3, 1, 8.0f),
                               make_geoset(3, 1, 16.0f)};
  g[0].material = 0, g[1].material = 1, g[2].material = 9;  // 9: no such material
  return g;
}

TEST(ChunkWalk, MaterialsTexturesAndEachGeosetsMaterial) {
  for (std::uint32_t version : {800u, 900u, 1000u}) {
    std::vector<GeosetOffsets> at;
    const ModelChunks c = chunks_of(build_model(unit_geosets(), &at, unit_dress(version)));
    EXPECT_TRUE(c.chunked);
    EXPECT_EQ(c.version, version);
    EXPECT_EQ(c.cut, "");
    EXPECT_EQ(c.unfit, "");
    ASSERT_EQ(c.materials.size(), 5u);
    ASSERT_EQ(c.textures.size(), 5u);
    EXPECT_EQ(c.textures[1].path, "Textures\\Footman.blp");
    EXPECT_EQ(c.materials[0].layer_count, 2u);
    const MaterialLayer& skin = c.layers[c.materials[0].first_layer + 1];
    EXPECT_EQ(skin.filter_mode, 1u);
    EXPECT_EQ(skin.shading, 0x10u);
    EXPECT_EQ(skin.texture_id, 1u);
    EXPECT_EQ(material_at(c, at[0].vertex_tag), 0u);
    EXPECT_EQ(material_at(c, at[1].vertex_tag), 1u);
    EXPECT_EQ(material_at(c, at[2].vertex_tag), kNoMaterial);
    EXPECT_EQ(material_at(c, at[0].vertex_tag - 8), kNoMaterial);  // before every entry
  }
}

TEST(ChunkWalk, CutsAndLayoutsThatDoNotFit) {
  const std::string whole = build_model(unit_geosets(), nullptr, unit_dress());
  // Every cut inside a chunk is one; a cut between two chunks cannot be.
  std::vector<std::size_t> boundaries;
  for (std::size_t at = 4; at < whole.size();) {
    boundaries.push_back(at);
    at += 8 + le_u32(reinterpret_cast<const unsigned char*>(whole.data()) + at + 4);
  }
  for (std::size_t n = 5; n < whole.size(); ++n) {
    const bool between = std::find(boundaries.begin(), boundaries.end(), n) != boundaries.end();
    EXPECT_EQ(chunks_of(whole.substr(0, n)).cut.empty(), between) << n;
  }
  const std::string cut = chunks_of(whole.substr(0, whole.size() - 1)).cut;
  EXPECT_EQ(cut, "file ends inside the CAMS chunk at offset " + std::to_string(boundaries.back()));

  // A version whose fields would lie elsewhere: no materials, and why.
  std::string other = build_model(unit_geosets(), nullptr, unit_dress(900));
  other.replace(12, 4, std::string("\x20\x03\0\0", 4));  // 800
  const ModelChunks c = chunks_of(other);
  EXPECT_EQ(c.unfit.rfind("the MTLS chunk at offset ", 0), 0u) << c.unfit;
  EXPECT_NE(c.unfit.find("does not fit the layout of version 800"), std::string::npos);
  EXPECT_TRUE(c.materials.empty() && c.geosets.empty());
  EXPECT_EQ(c.cut, "");

  // Entries that do not fit their chunk: a texture entry cut short, a geoset
  // block that runs past its entry, a geoset block out of its order.
  const auto set_u32 = [](std::string* bytes, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) (*bytes)[at + k] = static_cast<char>(v >> (8 * k));
  };
  std::string short_entry = whole;
  const std::size_t texs = short_entry.find("TEXS");
  const std::uint32_t texs_size =
      le_u32(reinterpret_cast<const unsigned char*>(short_entry.data()) + texs + 4);
  set_u32(&short_entry, texs + 4, texs_size + 4);
  short_entry.insert(texs + 8 + texs_size, 4, '\0');
  std::string long_block = whole;
  set_u32(&long_block, long_block.find("MATS") + 4, 0x10000000u);
  std::string misnamed = whole;
  misnamed.replace(misnamed.find("GNDX"), 4, "GNDY");
  const struct {
    const std::string& bytes;
    const char* chunk;
  } unfit[] = {{short_entry, "TEXS"}, {long_block, "GEOS"}, {misnamed, "GEOS"}};
  for (const auto& u : unfit) {
    const ModelChunks k = chunks_of(u.bytes);
    EXPECT_EQ(k.unfit.rfind(std::string("the ") + u.chunk + " chunk at offset ", 0), 0u) << k.unfit;
    EXPECT_TRUE(k.geosets.empty());
  }

  // A texture path that holds a block's tag: the tag walk takes it for a
  // geoset, which lies in no GEOS entry; the true geosets keep theirs.
  ModelDress odd = unit_dress();
  odd.textures[1].path = std::string("VRTX\0\0\0\0", 8);
  std::vector<GeosetOffsets> at;
  const std::string tagged = build_model(unit_geosets(), &at, odd);
  const ModelChunks t = chunks_of(tagged);
  EXPECT_EQ(material_at(t, tagged.find("VRTX")), kNoMaterial);
  EXPECT_EQ(material_at(t, at[1].vertex_tag), 1u);

  // Without "MDLX" there are no chunks to walk.
  std::string bare = whole;
  bare.replace(0, 4, "MDLY");
  EXPECT_FALSE(chunks_of(bare).chunked);
  EXPECT_EQ(chunks_of(bare.substr(0, 100)).cut, "");
}

TEST(MtlName, OfEachObjName) {
  const struct {
    std::string obj, mtl;
  } cases[] = {
      {"unit.obj", "unit.mtl"},
      {"art/Unit.OBJ", "art/Unit.mtl"},
      {"unit.oBj", "unit.mtl"},
      {"unit", "unit.mtl"},
      {"obj", "obj.mtl"},
      {".obj", ".mtl"},
      {"unit.objx", "unit.objx.mtl"},
      {"unit.mdx", "unit.mdx.mtl"},
      {"unit_obj", "unit_obj.mtl"},
      {"a", "a.mtl"},
  };
  for (const auto& c : cases) EXPECT_EQ(mtl_name_for(c.obj), c.mtl) << c.obj;
}

TEST(TextureNames, PathsAndImages) {
  // A TEXS path as a place under a folder: "/" between folders, no drive,
  // root, "." or "..".
  const struct {
    std::string stored, relative;
  } paths[] = {
      {"Textures\\Footman.blp", "Textures/Footman.blp"},
      {"C:\\Art\\..\\x.blp", "Art/x.blp"},
      {"\\\\server\\.\\x.blp", "server/x.blp"},
      {"../../a/b\\c.tga", "a/b/c.tga"},
      {"C:", ""},
      {"x", "x"},
  };
  for (const auto& c : paths) EXPECT_EQ(texture_path(c.stored), c.relative) << c.stored;

  // An image's name: a copy keeps the texture's where it says what it is.
  const struct {
    std::string relative;
    TextureKind kind;
    std::string image;
  } images[] = {
      {"Textures/Footman.blp", TextureKind::kBlp, "Textures/Footman.png"},
      {"Textures/Photo.JPG", TextureKind::kJpeg, "Textures/Photo.JPG"},
      {"Textures/photo.jpeg", TextureKind::kJpeg, "Textures/photo.jpeg"},
      {"Textures/photo.png", TextureKind::kJpeg, "Textures/photo.jpg"},
      {"Textures/copy.PNG", TextureKind::kPng, "Textures/copy.PNG"},
      {"Textures/copy.jpg", TextureKind::kPng, "Textures/copy.png"},
      {"top.blp", TextureKind::kBlp, "top.png"},
      {"Te.x/none", TextureKind::kTga, "Te.x/none.png"},
  };
  for (const auto& c : images) EXPECT_EQ(image_path(c.relative, c.kind), c.image) << c.relative;
}

using MaterialsFixture = RunFixture;

// The OBJ of -m is the plain OBJ with its "mtllib" line first and a
// "usemtl" line before each geoset's faces.
std::string without_material_lines(const std::string& obj) {
  std::istringstream in(obj);
  std::string out, line;
  while (std::getline(in, line)) {
    if (line.rfind("mtllib ", 0) != 0 && line.rfind("usemtl ", 0) != 0) out += line + "\n";
  }
  return out;
}

TEST_F(MaterialsFixture, AUnitInAGameLayout) {
  // The textures lie at the data root, in other letter case than the model
  // names them.
  const Pixels skin = test_picture(8, 4), cape = test_picture(4, 2);
  put("data/TEXTURES/footman.BLP", blp_palette(skin, 8));
  put("data/TEXTURES/capez.blp", blp_palette(cape, 0));
  const std::string model = build_model(unit_geosets(), nullptr, unit_dress());
  put("data/Units/Human/Footman/Footman.mdx", model);
  for (const char* style : {"", "--objects --up y --scale 0.5 "}) {
    ASSERT_EQ(run(std::string(style) + "-m data/Units/Human/Footman/Footman.mdx"), 0) << err();
    ASSERT_EQ(run(std::string(style) + "-o plain.obj data/Units/Human/Footman/Footman.mdx"), 0);
    const std::string obj = file("data/Units/Human/Footman/Footman.obj");
    EXPECT_EQ(without_material_lines(obj), file("plain.obj"));
    EXPECT_EQ(obj.rfind(text_file("mtllib Footman.mtl\n"), 0), 0u);
    std::string uses;
    for (std::size_t at = 0; (at = obj.find("usemtl ", at)) != std::string::npos; ++at) {
      uses += obj.substr(at, obj.find_first_of("\r\n", at) - at) + ";";
    }
    EXPECT_EQ(uses, "usemtl material_1;usemtl material_2;usemtl none;") << style;
  }
  EXPECT_EQ(file("data/Units/Human/Footman/Footman.mtl"),
            text_file("newmtl material_1\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 1.000000 1.000000\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\nmap_Kd Textures/Footman.png\n\n"
                      "newmtl material_2\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 1.000000 1.000000\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\nmap_Kd Textures/CapeZ.png\nmap_d Textures/CapeZ.png\n\n"
                      "newmtl material_3\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 0.011765 0.011765\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\n\n"
                      "newmtl material_4\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 1.000000 1.000000\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\n\n"
                      "newmtl material_5\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 1.000000 1.000000\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\nmap_Kd Textures/CapeZ.png\n\n"
                      "newmtl none\nKa 0.000000 0.000000 0.000000\n"
                      "Kd 1.000000 1.000000 1.000000\nKs 0.000000 0.000000 0.000000\n"
                      "d 1.000000\nillum 1\n"));
  bool alpha = false;
  const Pixels made = read_png(dir.file("data/Units/Human/Footman/Textures/Footman.png"), &alpha);
  EXPECT_TRUE(alpha);
  EXPECT_EQ(made.rgba, skin.rgba);
  // The data tree's own files are as they were.
  EXPECT_EQ(file("data/Units/Human/Footman/Footman.mdx"), model);
  EXPECT_EQ(file("data/TEXTURES/footman.BLP"), blp_palette(skin, 8));
  EXPECT_EQ(read_png(dir.file("data/Units/Human/Footman/Textures/CapeZ.png")).rgba, [&] {
    Pixels opaque = cape;
    for (std::size_t i = 3; i < opaque.rgba.size(); i += 4) opaque.rgba[i] = 255;
    return opaque.rgba;
  }());
}

TEST_F(MaterialsFixture, EveryTextureKindPixelForPixel) {
  const Pixels p = test_picture(16, 8);
  // Alpha bits that say nothing: every pixel opaque, an RGB image.
  Pixels solid = p;
  for (std::size_t i = 3; i < solid.rgba.size(); i += 4) solid.rgba[i] = 255;
  const struct {
    std::string name, bytes;
    int loss;  // at most this much off in any channel
    bool alpha;
    const Pixels* picture = nullptr;
  } kinds[] = {
      {"pal0.blp", blp_palette(p, 0), 0, false},
      {"pal1.blp", blp_palette(p, 1), 0, true},
      {"pal4.blp", blp_palette(p, 4), 0, true},
      {"pal8.blp", blp_palette(p, 8), 0, true},
      {"jpeg0.blp", blp_jpeg(p, 0), 6, false},
      {"jpeg8.blp", blp_jpeg(p, 8, 0), 6, true},
      {"plain24.tga", tga(p, 24, false, false), 0, false},
      {"rle32.tga", tga(p, 32, true, true), 0, true},
      {"plain32.tga", tga(p, 32, false, true), 0, true},
      {"solid8.blp", blp_palette(solid, 8), 0, false, &solid},
      {"solidjpeg8.blp", blp_jpeg(solid, 8), 6, false, &solid},
      {"solid32.tga", tga(solid, 32, false, true), 0, false, &solid},
  };
  for (const auto& k : kinds) {
    put("Textures/" + k.name, k.bytes);
    ModelDress d;
    d.textures = {{0, "Textures\\" + k.name}};
    d.materials = {{{0, 0, 0}}};
    put(k.name + ".mdx", build_model({make_geoset(3, 1)}, nullptr, d));
    ASSERT_EQ(run("-q -m " + k.name + ".mdx"), 0) << err();
    EXPECT_EQ(err(), "");
    const std::string png = "Textures/" + k.name.substr(0, k.name.find('.')) + ".png";
    bool alpha = false;
    const Pixels made = read_png(dir.file(png), &alpha);
    ASSERT_EQ(made.rgba.size(), p.rgba.size()) << png;
    EXPECT_EQ(alpha, k.alpha) << png;
    int worst = 0;
    for (std::size_t i = 0; i < p.rgba.size(); ++i) {
      // Alpha of 1 or 4 bits keeps its top bits, as the format stores it.
      int want = (k.picture ? *k.picture : p).rgba[i];
      if (i % 4 == 3) {
        want = !k.alpha               ? 255
               : k.name == "pal1.blp" ? (want >> 7) * 255
               : k.name == "pal4.blp" ? (want >> 4) * 17
                                      : want;
      }
      worst = std::max(worst, std::abs(made.rgba[i] - want));
    }
    EXPECT_LE(worst, k.loss) << png;
  }
  // Every build (Linux, Windows, the page) makes the same bytes: its own
  // builds of the same libraries, at the same settings.
  for (const auto& [png, hash] :
       {std::pair<const char*, std::uint64_t>{"pal8", 6724306055912414384u},
        {"jpeg8", 4440330597322628806u},
        {"solid8", 753354016296482300u}}) {
    EXPECT_EQ(fnv1a(file("Textures/" + std::string(png) + ".png")), hash) << png;
  }
  // A PNG or JPEG texture is copied as it is; a TGA is known by its name in
  // any letter case.
  put("Textures/copy.png", file("Textures/pal8.png"));
  put("Textures/Photo.JPG", blp_jpeg(p, 0).substr(160));  // the BLP's JPEG data, whole
  put("Textures/UPPER.TGA", tga(p, 24, false, false));
  ModelDress d;
  d.textures = {{0, "Textures\\copy.png"}, {0, "Textures\\Photo.JPG"}, {0, "Textures\\UPPER.TGA"}};
  d.materials = {{{0, 0, 0}}, {{0, 0, 1}}, {{0, 0, 2}}};
  put("art/copy.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q -m -d out art/copy.mdx"), 0) << err();
  EXPECT_EQ(err(), "");
  EXPECT_EQ(file("out/Textures/copy.png"), file("Textures/pal8.png"));
  EXPECT_EQ(file("out/Textures/Photo.JPG"), file("Textures/Photo.JPG"));
  EXPECT_EQ(read_png(dir.file("out/Textures/UPPER.png")).rgba,
            read_png(dir.file("Textures/plain24.png")).rgba);
  d.textures.resize(1);
  d.materials.resize(1);
  // Where it already lies where its image goes, it is the image itself.
  put("copy.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  const auto before = fs::last_write_time(dir.path / "Textures/copy.png");
  ASSERT_EQ(run("-q -m copy.mdx"), 0) << err();
  EXPECT_EQ(fs::last_write_time(dir.path / "Textures/copy.png"), before);
  EXPECT_NE(text("copy.mtl").find("map_Kd Textures/copy.png\n"), std::string::npos);
}

// Each material's colour and image by its own layers alone: a texture the
// game supplies leaves it white, the team colour makes it red, and a layer
// that names no texture of the model (one past the last) leaves it plain. A
// material without an image tells its first layer's look; a texture missing
// that two materials name is told once.
TEST_F(MaterialsFixture, EachMaterialByItsOwnLayers) {
  put("Textures/x.blp", blp_palette(test_picture(2, 2), 0));
  ModelDress d;
  d.textures = {{11, ""}, {1, ""}, {0, "Textures\\x.blp"}, {0, "Textures\\gone.blp"}};
  d.materials = {{{0, 0, 0}}, {{2, 0x10, 1}}, {{0, 0, 0}}, {{0, 0, 2}},
                 {{0, 0, 4}}, {{0, 0, 3}},    {{1, 0, 3}}};
  put("unit.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q -m --json unit.mdx > out"), 0) << err();
  EXPECT_EQ(err(), "mdx2obj: unit.mdx: texture Textures/gone.blp: not found\n");
  EXPECT_NE(file("out").find("\"materials\": [{\"texture\": \"\", \"filter_mode\": 0, "
                             "\"two_sided\": false}, {\"texture\": \"\", \"filter_mode\": 2, "
                             "\"two_sided\": true}, "),
            std::string::npos)
      << file("out");
  std::istringstream lines(text("unit.mtl"));
  std::string looks;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Kd ", 0) == 0)
      looks += line == "Kd 1.000000 1.000000 1.000000" ? "white;" : "red;";
    if (line.rfind("map_Kd ", 0) == 0) looks += line.substr(7) + ";";
  }
  EXPECT_EQ(looks, "white;red;white;white;Textures/x.png;white;white;white;");
}

TEST_F(MaterialsFixture, TexturesThatCannotBeReadAreWarnings) {
  const Pixels p = test_picture(4, 4);
  std::string cut = blp_palette(p, 8);
  cut.resize(cut.size() - 1);
  std::string huge = blp_palette(p, 0);
  huge[12] = 0x29, huge[13] = 0x23;  // 9001 pixels wide
  put("Textures/cut.blp", cut);
  put("Textures/huge.blp", huge);
  put("Textures/new.blp", "BLP2 and what follows");
  put("Textures/odd.blp", std::string(blp_palette(p, 8)).replace(8, 1, "\x03"));
  // JPEG data cut short (its mipmap's size says so too), and no JPEG at all.
  std::string jpeg = blp_jpeg(test_picture(64, 64), 8);
  const std::size_t mipmap = 156 + 4 + 300;  // the header and the shared part
  jpeg.resize(mipmap + (jpeg.size() - mipmap) / 2);
  ByteWriter length;
  length.u32(static_cast<std::uint32_t>(jpeg.size() - mipmap));
  put("Textures/short.blp", jpeg.replace(92, 4, length.bytes));
  put("Textures/junk.blp", blp_jpeg(p, 8).replace(160, 2, "JJ"));
  put("Textures/notes.blp", "a text file, named as a texture\n");
  put("Textures/tex.dds", std::string("DDS |\0\0\0", 8));
  // Other marks that are no texture's: a digit after a word, a byte of 0xFF.
  put("Textures/old.blp", "BLP0 and what follows");
  put("Textures/ver2.blp", "ver2 of the notes\n");
  put("Textures/ff.blp", std::string("\xFF\x00\x00 no JPEG", 11));
  ModelDress d;
  d.textures = {{0, "Textures\\gone.blp"}, {0, "Textures\\cut.blp"},   {0, "Textures\\huge.blp"},
                {0, "Textures\\new.blp"},  {0, "Textures\\odd.blp"},   {0, "Textures\\short.blp"},
                {0, "Textures\\junk.blp"}, {0, "Textures\\notes.blp"}, {0, "Textures\\tex.dds"},
                {0, "Textures\\old.blp"},  {0, "Textures\\ver2.blp"},  {0, "Textures\\ff.blp"}};
  d.materials.clear();
  for (std::uint32_t t = 0; t < d.textures.size(); ++t) d.materials.push_back({{0, 0, t}});
  put("unit.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  const std::string warnings =
      "mdx2obj: unit.mdx: texture Textures/gone.blp: not found\n"
      "mdx2obj: unit.mdx: texture Textures/cut.blp: damaged (mipmap 0 lies outside the file)\n"
      "mdx2obj: unit.mdx: texture Textures/huge.blp: too large (9001x4)\n"
      "mdx2obj: unit.mdx: texture Textures/new.blp: format not read\n"
      "mdx2obj: unit.mdx: texture Textures/odd.blp: damaged (3 alpha bits)\n"
      "mdx2obj: unit.mdx: texture Textures/short.blp: damaged (JPEG: Premature end of JPEG "
      "file)\n"
      "mdx2obj: unit.mdx: texture Textures/junk.blp: damaged (JPEG: Not a JPEG file: starts with "
      "0x4a 0x4a)\n"
      "mdx2obj: unit.mdx: texture Textures/notes.blp: not a texture file\n"
      "mdx2obj: unit.mdx: texture Textures/tex.dds: format not read\n"
      "mdx2obj: unit.mdx: texture Textures/old.blp: format not read\n"
      "mdx2obj: unit.mdx: texture Textures/ver2.blp: not a texture file\n"
      "mdx2obj: unit.mdx: texture Textures/ff.blp: not a texture file\n";
  EXPECT_EQ(run("-m unit.mdx"), 0);
  EXPECT_EQ(err(), warnings + "unit.mdx -> unit.obj: 1 geoset, 3 vertices, 1 triangle\n");
  EXPECT_EQ(run("-q -m unit.mdx"), 0);
  EXPECT_EQ(err(), warnings);
  EXPECT_EQ(run("-qq -m unit.mdx"), 0);
  EXPECT_EQ(err(), "");
  EXPECT_EQ(text("unit.mtl").find("map_"), std::string::npos) << text("unit.mtl");
  EXPECT_FALSE(file_exists(dir.path / "Textures/cut.png"));
  // A folder named with --textures is searched after the model's own; it is
  // no folder of the run, so the image goes under the OBJ's folder.
  put("lib/Textures/gone.blp", blp_palette(p, 0));
  put("art/unit.mdx", file("unit.mdx"));
  EXPECT_EQ(run("-m --textures lib art/unit.mdx"), 0);
  EXPECT_EQ(err().find("gone.blp"), std::string::npos) << err();
  EXPECT_NE(text("art/unit.mtl").find("map_Kd Textures/gone.png\n"), std::string::npos);
  EXPECT_EQ(read_png(dir.file("art/Textures/gone.png")).width, 4u);
  EXPECT_FALSE(file_exists(dir.path / "lib/Textures/gone.png"));
}

// A tree of models: a texture at its root that they share, one of the same
// name that each folder has its own file for, and in a third folder a BLP
// and a TGA that would make one image. Each source has one image, beside it
// in place and at its mirrored place under -d, whatever the number of jobs;
// of the BLP and the TGA the first in the run's order wins.
TEST_F(MaterialsFixture, EachSourceOneImageWhereItLies) {
  put("art/Textures/Shared.blp", blp_palette(test_picture(4, 4), 0));
  put("art/a/Textures/Own.blp", blp_palette(test_picture(8, 2), 0));
  put("art/b/Textures/Own.blp", blp_palette(test_picture(2, 8), 0));
  put("art/c/Textures/Own.blp", blp_palette(test_picture(4, 2), 0));
  put("art/c/Textures/Own.tga", tga(test_picture(2, 4), 24, false, false));
  ModelDress d;
  d.textures = {{0, "Textures\\Shared.blp"}, {0, "Textures\\Own.blp"}};
  d.materials = {{{0, 0, 0}}, {{0, 0, 1}}};
  for (const char* name :
       {"art/a/x.mdx", "art/a/y.mdx", "art/b/x.mdx", "art/b/y.mdx", "art/c/x.mdx"}) {
    put(name, build_model({make_geoset(3, 1)}, nullptr, d));
  }
  d.textures[1].path = "Textures\\Own.tga";
  put("art/c/y.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  std::string first_err;
  for (const char* jobs : {"1", "4"}) {
    const std::string out = std::string("out") + jobs;
    EXPECT_EQ(run("-m -r -j" + std::string(jobs) + " -d " + out + " art"), 0);
    std::string e = err();
    EXPECT_NE(e.find("mdx2obj: " + made("art/c/y.mdx") + ": texture Textures/Own.tga: " +
                     made(out + "/c/Textures/Own.png") + " is made from another file\n"),
              std::string::npos)
        << e;
    for (std::size_t at = 0; (at = e.find(out, at)) != std::string::npos;) e.replace(at, 4, "out");
    if (first_err.empty()) first_err = e;
    EXPECT_EQ(e, first_err);
    EXPECT_EQ(read_png(dir.file(out + "/a/Textures/Own.png")).width, 8u);
    EXPECT_EQ(read_png(dir.file(out + "/b/Textures/Own.png")).width, 2u);
    EXPECT_EQ(read_png(dir.file(out + "/c/Textures/Own.png")).width, 4u);
    EXPECT_NE(text(out + "/a/x.mtl").find("map_Kd ../Textures/Shared.png\n"), std::string::npos);
    EXPECT_NE(text(out + "/b/y.mtl").find("map_Kd Textures/Own.png\n"), std::string::npos);
    EXPECT_EQ(text(out + "/c/y.mtl").find("Own"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.path / out / "a/Textures/Shared.png"));
  }
  for (const char* f : {"Textures/Shared.png", "a/Textures/Own.png", "b/Textures/Own.png",
                        "a/y.mtl", "b/y.mtl", "c/y.obj"}) {
    EXPECT_EQ(file(std::string("out1/") + f), file(std::string("out4/") + f)) << f;
  }
  // Two PATHs, one within the other: under -d each mirrors its own tree, and
  // a source has an image for each.
  EXPECT_EQ(run("-q -m -r -d nested art art/b"), 0);
  EXPECT_EQ(text("nested/b/x.mtl"), text("out1/b/x.mtl"));
  EXPECT_NE(text("nested/x.mtl").find("map_Kd Textures/Own.png\n"), std::string::npos);
  EXPECT_EQ(read_png(dir.file("nested/b/Textures/Own.png")).width, 2u);
  EXPECT_EQ(read_png(dir.file("nested/Textures/Own.png")).width, 2u);
  // In place: beside each source, the shared one once.
  EXPECT_EQ(run("-m -r art"), 0);
  EXPECT_EQ(file("art/Textures/Shared.png"), file("out1/Textures/Shared.png"));
  EXPECT_EQ(file("art/b/Textures/Own.png"), file("out1/b/Textures/Own.png"));
  EXPECT_FALSE(file_exists(dir.path / "art/a/Textures/Shared.png"));
  EXPECT_EQ(file("art/a/x.mtl"), file("out1/a/x.mtl"));
}

// Extracted game data holds one folder in two letter cases: each spelling is
// tried, the exact one first, until the whole path is found. The image goes
// beside its source, as the folder spells it, within the folder converted;
// named alone, the model's texture lies above its folder and the image goes
// under the OBJ's.
TEST_F(MaterialsFixture, AFolderInTwoLetterCases) {
  put("data/Textures/Other.blp", blp_palette(test_picture(4, 4), 0));
  put("data/textures/footman.BLP", blp_palette(test_picture(8, 4), 0));
  // Where letter case makes no other name, both are one folder.
  const std::string folder = kNamesIgnoreCase ? "Textures" : "textures";
  ModelDress d;
  d.textures = {{0, "Textures\\Footman.blp"}};
  d.materials = {{{0, 0, 0}}};
  put("data/Units/Human/Footman/Footman.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q -m -r data"), 0);
  EXPECT_EQ(err(), "");
  EXPECT_EQ(read_png(dir.file("data/" + folder + "/footman.png")).width, 8u);
  EXPECT_NE(text("data/Units/Human/Footman/Footman.mtl")
                .find("map_Kd ../../../" + folder + "/footman.png\n"),
            std::string::npos);
  ASSERT_EQ(run("-q -m data/Units/Human/Footman/Footman.mdx"), 0);
  EXPECT_EQ(err(), "");
  EXPECT_EQ(read_png(dir.file("data/Units/Human/Footman/Textures/Footman.png")).width, 8u);
  // A model named alone whose texture lies in its own folder: beside it.
  put("solo/textures/footman.BLP", blp_palette(test_picture(2, 2), 0));
  put("solo/Solo.mdx", file("data/Units/Human/Footman/Footman.mdx"));
  ASSERT_EQ(run("-q -m solo/Solo.mdx"), 0);
  EXPECT_EQ(read_png(dir.file("solo/textures/footman.png")).width, 2u);
  EXPECT_NE(text("solo/Solo.mtl").find("map_Kd textures/footman.png\n"), std::string::npos);
  EXPECT_NE(text("data/Units/Human/Footman/Footman.mtl").find("map_Kd Textures/Footman.png\n"),
            std::string::npos);
}

#ifndef _WIN32
// An image that cannot be written fails its model as an OBJ would: told
// once, by the first model, and the rest not started; nothing half-written.
TEST_F(MaterialsFixture, AFullDiskFailsTheImage) {
  if (geteuid() != 0 || std::system("unshare -m true 2> /dev/null") != 0) {
    GTEST_SKIP() << "needs root to mount a file system of its own";
  }
  // Noise: its PNG is larger than the file system.
  Pixels noise{256, 256, {}};
  for (unsigned i = 0; i < 256 * 256 * 4; ++i)
    noise.rgba.push_back(static_cast<unsigned char>(i * 2654435761u >> 24));
  put("art/Textures/big.blp", blp_jpeg(noise, 8));
  ModelDress d;
  d.textures = {{0, "Textures\\big.blp"}};
  d.materials = {{{0, 0, 0}}};
  for (const char* name : {"art/a.mdx", "art/b.mdx", "art/c.mdx"}) {
    put(name, build_model({make_geoset(3, 1)}, nullptr, d));
  }
  fs::create_directory(dir.path / "full");
  put("faults.sh", "mount -t tmpfs -o size=16k tmpfs full || exit 1\n'" +
                       std::string(MDX2OBJ_PATH) +
                       "' -j1 -m -r -d full/out art 2> err; echo $? > status\n"
                       "find full -name '*.tmp' > left\n");
  ASSERT_EQ(run_in(dir.path.string(), "unshare", "-m sh faults.sh"), 0);
  EXPECT_EQ(file("status"), "1\n");
  EXPECT_EQ(err(),
            "mdx2obj: full/out/Textures/big.png: write failed: No space left on device\n"
            "3 models: 0 converted, 1 failed, 2 not started (T s, 0 bytes of OBJ)\n");
  EXPECT_EQ(file("left"), "");
}
#endif

// -u follows each texture to its source: a texture added, edited, damaged or
// shadowed by a nearer file converts its models again ("texture"); one still
// missing or still damaged does not. An image is written again only where
// its source changed or it is gone: never because another model's run wrote
// it, nor because its own time changed.
TEST_F(MaterialsFixture, RerunsFollowTheTextures) {
  put("Textures/skin.blp", blp_palette(test_picture(4, 4), 0));
  ModelDress d;
  d.textures = {{0, "Textures\\skin.blp"}, {0, "Textures\\later.blp"}};
  d.materials = {{{1, 0x10, 0}}, {{0, 0, 1}}};
  put("art/unit.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  d.textures.resize(1);
  d.materials.resize(1);
  put("art/other.mdx", build_model({make_geoset(4, 2)}, nullptr, d));
  const std::string models = " art/unit.mdx art/other.mdx";
  ASSERT_EQ(run("-m -u --json" + models + " > out"), 0) << err();
  EXPECT_NE(file("out").find(
                ", \"mtl\": \"" + json_made("art/unit.mtl") + "\", \"textures\": [\"" +
                json_made("art/Textures/skin.png") +
                "\"], \"warnings\": [\"texture Textures/later.blp: not found\"], \"materials\": ["
                "{\"texture\": \"Textures/skin.png\", \"filter_mode\": 1, \"two_sided\": true}, "
                "{\"texture\": \"\", \"filter_mode\": 0, \"two_sided\": false}]}"),
            std::string::npos)
      << file("out");
  const fs::path image = dir.path / "art/Textures/skin.png";
  const std::string unit = made("art/unit.mdx") + " -> " + made("art/unit.obj") + ": ";
  const std::string other = made("art/other.mdx") + " -> " + made("art/other.obj") + ": ";
  const Pixels edited = test_picture(8, 8);
  const struct {
    std::function<void()> change;
    std::string why;
    bool image_written;
  } steps[] = {
      {[] {}, "", false},
      {[&] { put("Textures/later.blp", blp_palette(test_picture(2, 2), 0)); }, unit + "texture\n",
       false},
      {[] {}, "", false},
      {[&] { put("Textures/skin.blp", blp_palette(edited, 0)); },
       unit + "texture\n" + other + "texture\n", true},
      // Edited again to the same size: its time tells.
      {[&] {
         Pixels same_size = edited;
         same_size.rgba[0] ^= 0x80;
         const auto was = fs::last_write_time(dir.path / "Textures/skin.blp");
         put("Textures/skin.blp", blp_palette(same_size, 0));
         fs::last_write_time(dir.path / "Textures/skin.blp", was + std::chrono::seconds(5));
       },
       unit + "texture\n" + other + "texture\n", true},
      {[&] { put("Textures/later.blp", "BLP1"); }, unit + "texture\n", false},
      {[] {}, "", false},
      {[&] { fs::remove(image); }, unit + "missing\n" + other + "missing\n", true},
      {[&] { put("art/other.mdx", build_model({make_geoset(5, 2)}, nullptr, d)); },
       other + "changed\n", false},
      {[&] { fs::last_write_time(image, fs::last_write_time(image) - std::chrono::hours(1)); }, "",
       false},
      {[&] { put("art/unit.mtl", "newmtl x\n"); }, unit + "changed\n", false},
      // Edited to its own size: its time tells.
      {[&] {
         std::string mtl = file("art/unit.mtl");
         mtl[mtl.find("Kd 1") + 3] = '0';
         const auto was = fs::last_write_time(dir.path / "art/unit.mtl");
         put("art/unit.mtl", mtl);
         fs::last_write_time(dir.path / "art/unit.mtl", was + std::chrono::seconds(5));
       },
       unit + "changed\n", false},
      // Another version made them: the images are made again too.
      {[&] {
         std::string ledger = file("art/.mdx2obj-record");
         for (std::size_t at = 0;
              (at = ledger.find("\t" MDX2OBJ_VERSION "\t", at)) != std::string::npos;) {
           ledger.replace(at + 1, std::string(MDX2OBJ_VERSION).size(), "0.9");
         }
         put("art/.mdx2obj-record", ledger);
       },
       unit + "version\n" + other + "version\n", true},
      // A nearer file of that path, the model's own folder's: a copy, of the
      // same size and time, which only its path tells apart.
      {[&] {
         fs::create_directories(dir.path / "art/Textures");
         fs::copy_file(dir.path / "Textures/skin.blp", dir.path / "art/Textures/skin.blp");
         fs::last_write_time(dir.path / "art/Textures/skin.blp",
                             fs::last_write_time(dir.path / "Textures/skin.blp"));
       },
       unit + "texture\n" + other + "texture\n", true},
      {[&] { put("art/Textures/skin.blp", blp_palette(test_picture(2, 4), 0)); },
       unit + "texture\n" + other + "texture\n", true},
  };
  for (const auto& step : steps) {
    step.change();
    ASSERT_EQ(run("-m -u -n" + models + " > out"), 0);
    EXPECT_EQ(text("out"), step.why) << step.why;
    // Some file systems keep whole seconds: an image written twice within one
    // is told by a time set back first (its own time never decides).
    fs::file_time_type before;
    if (file_exists(image)) {
      before = fs::last_write_time(image) - std::chrono::hours(1);
      fs::last_write_time(image, before);
    }
    ASSERT_EQ(run("-q -m -u" + models), 0) << err();
    EXPECT_EQ(fs::last_write_time(image) != before, step.image_written)
        << "step " << &step - steps << ": " << step.why;
  }
  EXPECT_EQ(read_png(image.string()).width, 2u);
  ASSERT_EQ(run("-m -u --json" + models + " > out"), 0);
  EXPECT_NE(file("out").find("\"status\": \"up-to-date\", \"mtl\": \"" + json_made("art/unit.mtl") +
                             "\", \"textures\": [\"" + json_made("art/Textures/skin.png") + "\"]}"),
            std::string::npos)
      << file("out");
}

TEST_F(MaterialsFixture, CutModelsAreToldAndCounted) {
  std::vector<GeosetOffsets> at;
  const std::string whole = build_model({make_geoset(3, 1), make_geoset(4, 2, 5.0f)}, &at);
  // Cut before the second geoset's indices: the tag walk alone sees a model
  // of one geoset and the vertices of a second.
  put("cut.mdx", whole.substr(0, at[1].index_tag - 2));
  EXPECT_EQ(run("cut.mdx"), 1);
  EXPECT_EQ(err(), "mdx2obj: cut.mdx: file ends inside the GEOS chunk at offset " +
                       std::to_string(whole.find("GEOS")) + " (" + made("cut.obj") +
                       " is partial)\n");
  std::string bare = whole.substr(0, at[1].index_tag - 2);
  bare.replace(0, 4, "MDLY");
  put("bare.mdx", bare);
  EXPECT_EQ(run("bare.mdx"), 0);
  EXPECT_EQ(err(), "bare.mdx -> bare.obj: 2 geosets, 7 vertices, 1 triangle\n");
}

TEST_F(MaterialsFixture, MaterialsNeedAnObjFile) {
  put("unit.mdx", build_model({make_geoset(3, 1)}));
  const struct {
    std::string args, message;
  } cases[] = {
      {"-m -o - unit.mdx", "-m and -o - do not go together: the MTL goes beside the OBJ file"},
      {"--textures t unit.mdx", "--textures goes with -m or --format glb"},
      {"-m --textures= unit.mdx", "--textures needs a folder name"},
      {"-m --textures nowhere unit.mdx", "--textures names no folder: nowhere"},
      {"-m --textures unit.mdx unit.mdx", "--textures names no folder: unit.mdx"},
#ifndef _WIN32
      {"-m -o /dev/null unit.mdx", "-m needs -o to name a regular file, not /dev/null"},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), 2) << c.args;
    EXPECT_EQ(err(), "mdx2obj: " + c.message +
                         "\nusage: mdx2obj [OPTIONS] PATH... (mdx2obj --help tells more)\n");
  }
  // The OBJ's bytes count its mtllib line; an MTL that cannot be put in
  // place fails its model, and no OBJ names it.
  ASSERT_EQ(run("-m --json unit.mdx > out"), 0) << err();
  EXPECT_NE(file("out").find("\"obj_bytes\": " + std::to_string(file("unit.obj").size()) + ","),
            std::string::npos)
      << file("out");
  fs::remove(dir.path / "unit.obj");
  fs::remove(dir.path / "unit.mtl");
  fs::create_directories(dir.path / "unit.mtl");
  EXPECT_EQ(run("-m unit.mdx"), 1);
  EXPECT_EQ(err().rfind("mdx2obj: unit.mtl: ", 0), 0u) << err();
  EXPECT_FALSE(file_exists(dir.path / "unit.obj"));
}

}  // namespace
