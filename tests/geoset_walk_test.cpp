#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model_builder.h"
#include "test_util.h"
#include "walk_runner.h"

namespace {

struct WalkFixture : ::testing::Test {
  std::vector<GeosetData> geosets;
  std::vector<GeosetOffsets> at;
  std::string bytes;

  WalkRun build_and_walk() {
    bytes = build_model(geosets, &at);
    WalkRun run = run_walk(bytes);
    // Every model here must also come out the same through the plain source.
    WalkRun plain = run_plain_walk(bytes);
    EXPECT_EQ(run.obj, plain.obj);
    EXPECT_EQ(run.console, plain.console);
    EXPECT_EQ(run.result, plain.result);
    return run;
  }
};

TEST_F(WalkFixture, GeosetsShareOneVertexNumbering) {
  geosets = {make_geoset(3, 1), make_geoset(5, 3, 10.0f)};
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.result, WalkResult::kDone);
  EXPECT_EQ(run.obj, expected_obj(geosets));
  EXPECT_NE(run.obj.find("f 1/1/1 2/2/2 3/3/3\n"), std::string::npos);
  EXPECT_NE(run.obj.find("f 4/4/4 7/7/7 8/8/8\n"), std::string::npos);
  EXPECT_EQ(run.console,
            expected_progress(geosets[0], at[0]) + expected_progress(geosets[1], at[1]));
}

TEST_F(WalkFixture, LeftoverIndicesAreNotRead) {
  geosets = {make_geoset(4, 2)};
  geosets[0].indices.push_back(3);  // K = 7
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.obj, expected_obj(geosets));
  EXPECT_NE(run.console.find("Faces: 7\n"), std::string::npos);
}

TEST_F(WalkFixture, GeosetWithoutVerticesStillWritesItsFaces) {
  GeosetData g = make_geoset(0, 0);
  g.indices = {0, 1, 2};
  geosets = {make_geoset(2, 0), g, make_geoset(3, 1)};
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.obj, expected_obj(geosets));
  EXPECT_NE(run.console.find("Vertices: 0\nNormals: 0\nTVerts: 0\n"), std::string::npos);
  // The empty geoset takes numbers 3 to 5; so does the one after it.
  EXPECT_NE(run.obj.find("vt 0.250000 0.250000\nf 3/3/3 4/4/4 5/5/5\nv "), std::string::npos);
}

TEST_F(WalkFixture, OnlyTheFirstTextureBlockIsWritten) {
  geosets = {make_geoset(4, 2), make_geoset(3, 1)};
  geosets[0].tex_blocks = 2;
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.obj, expected_obj(geosets));
}

// The texture search is not bounded by the geoset: it takes the next
// geoset's block, and the geosets before that block are never converted.
TEST_F(WalkFixture, GeosetWithoutTextureBlockBorrowsTheNextOne) {
  geosets = {make_geoset(3, 1), make_geoset(4, 2, 5.0f), make_geoset(3, 1, 9.0f)};
  geosets[0].tex_blocks = 0;
  WalkRun run = build_and_walk();
  GeosetData first = geosets[0];
  first.tex_coords = geosets[1].tex_coords;
  EXPECT_EQ(run.obj, expected_obj({first, geosets[2]}));
  EXPECT_EQ(std::count(run.console.begin(), run.console.end(), '!'), 2);
}

TEST_F(WalkFixture, LastGeosetWithoutTextureBlockEndsTheWalk) {
  geosets = {make_geoset(3, 1), make_geoset(4, 2)};
  geosets[1].tex_blocks = 0;
  geosets[1].tex_coords.clear();
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.result, WalkResult::kDone);
  EXPECT_EQ(run.obj, expected_obj(geosets));
  EXPECT_EQ(run.console.substr(expected_progress(geosets[0], at[0]).size()),
            "Geoset Found!\nVertices: 4\nNormals: 4\nFaces: 6\n" +
                std::to_string(at[1].index_tag + 8) + "\n");
}

TEST_F(WalkFixture, GeosetWithoutIndexBlockEndsTheWalk) {
  geosets = {make_geoset(3, 1), make_geoset(4, 0)};
  geosets[1].has_index_block = false;
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.result, WalkResult::kDone);
  GeosetData last = geosets[1];
  last.tex_coords.clear();
  EXPECT_EQ(run.obj, expected_obj({geosets[0], last}));
  EXPECT_EQ(run.console.substr(expected_progress(geosets[0], at[0]).size()),
            "Geoset Found!\nVertices: 4\nNormals: 4\n");
}

// "VRTX" in the bytes of a texture coordinate starts a geoset that is not
// there: its counts are the bytes that follow, and it takes the next real
// geoset's index and texture blocks.
TEST_F(WalkFixture, TagBytesInsideDataMakeAFalseGeoset) {
  float vrtx_as_float;
  std::uint32_t bits = 'V' | 'R' << 8 | 'T' << 16 | std::uint32_t('X') << 24;
  std::memcpy(&vrtx_as_float, &bits, sizeof bits);
  geosets = {make_geoset(3, 1), make_geoset(4, 2, 2.0f)};
  // The v after the tag bytes is the false vertex count, the next v its
  // normal count: 0 and 0.
  geosets[0].tex_coords = {{vrtx_as_float, 0.0f}, {0.5f, 0.0f}, {0.0f, 1.0f}};
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.result, WalkResult::kDone);
  GeosetData false_geoset = geosets[1];
  false_geoset.vertices.clear();
  false_geoset.normals.clear();
  EXPECT_EQ(run.obj, expected_obj({geosets[0], false_geoset}));
  EXPECT_EQ(std::count(run.console.begin(), run.console.end(), '!'), 2);
  EXPECT_NE(run.console.find("Geoset Found!\nVertices: 0\nNormals: 0\nTVerts: 4\n"),
            std::string::npos);
}

TEST_F(WalkFixture, FaceNumbersGoPast65535) {
  geosets = {make_geoset(70000, 1), make_geoset(3, 1)};
  WalkRun run = build_and_walk();
  EXPECT_EQ(run.obj, expected_obj(geosets));
  EXPECT_NE(run.obj.find("\nf 70001/70001/70001 70002/70002/70002 70003/70003/70003\n"),
            std::string::npos);
}

TEST(GeosetWalk, EmptyAndTaglessInputsWriteNothing) {
  for (const std::string& bytes :
       {std::string(), std::string("MDLX"), std::string(5000, 'V'), build_model({})}) {
    WalkRun run = run_walk(bytes);
    EXPECT_EQ(run.result, WalkResult::kDone);
    EXPECT_EQ(run.obj, "");
    EXPECT_EQ(run.console, "");
  }
}

// The offsets on the console are those of the first texture coordinate and
// the first index.
TEST(GeosetWalk, ProgressLinesGiveCountsAndOffsets) {
  ByteWriter w;
  w.zeros(50);
  w.tag("VRTX");
  w.u32(4);
  for (int i = 0; i < 12; ++i) w.f32(1.0f);
  w.tag("NRMS");
  w.u32(4);
  for (int i = 0; i < 12; ++i) w.f32(0.0f);
  w.zeros(200 - w.size());
  w.tag("PVTX");
  w.u32(6);
  for (std::uint16_t i : {0, 1, 2, 2, 1, 3}) w.u16(i);
  w.zeros(400 - w.size());
  w.tag("UVBS");
  w.u32(4);
  for (int i = 0; i < 8; ++i) w.f32(0.5f);
  WalkRun run = run_walk(w.bytes);
  EXPECT_EQ(run.console, "Geoset Found!\nVertices: 4\nNormals: 4\nTVerts: 4\n408\nFaces: 6\n208\n");
}

// Models cut and bent at random, through windows of every size: the windowed
// source must say and write what the plain one does.
TEST(GeosetWalk, WindowedSourceAgreesWithPlainOnMutatedModels) {
  std::mt19937 rng(99);
  std::vector<GeosetData> geosets = {make_geoset(5, 3), make_geoset(4, 2, 3.0f),
                                     make_geoset(6, 4, -2.0f)};
  geosets[1].tex_blocks = 2;
  const std::string model = build_model(geosets);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = model;
    for (int m = rng() % 4; m > 0; --m) {
      std::size_t at = rng() % bytes.size();
      switch (rng() % 3) {
        case 0:
          bytes[at] = static_cast<char>(rng());
          break;
        case 1:
          bytes.resize(at);
          break;
        default:
          bytes.insert(at, std::string(rng() % 9, 'X'));
          break;
      }
      if (bytes.empty()) break;
    }
    WalkRun plain = run_plain_walk(bytes);
    for (std::size_t window : {4u, 9u, 64u, 1000u}) {
      WalkRun fast = run_walk(bytes, window, 600);
      ASSERT_EQ(fast.obj, plain.obj) << round << " " << window;
      ASSERT_EQ(fast.console, plain.console) << round << " " << window;
      ASSERT_EQ(fast.result, plain.result);
      ASSERT_EQ(fast.err, plain.err);
    }
  }
}

}  // namespace
