#include <gtest/gtest.h>

#include "gltf/glb_skeleton.h"
#include "pose.h"
#include "run_fixture.h"
#include "skeleton_models.h"

namespace {

struct SkeletonFixture : RunFixture {
  void TearDown() override { validate_glbs(dir.path); }
};

TEST_F(SkeletonFixture, AnimationsPlayAsTheModelsRules) {
  ModelDress d;
  d.skeleton = walking_skeleton();
  const GeosetData g = skinned_geoset();
  put("unit.mdx", build_model({g}, nullptr, d));
  ASSERT_EQ(run("-q --format glb unit.mdx"), 0) << err();
  EXPECT_EQ(err(),
            "mdx2obj: unit.mdx: keys out of order sorted, the last of equal times kept\n"
            "mdx2obj: unit.mdx: nodes whose parent names no node put under the model\n"
            "mdx2obj: unit.mdx: sequences that end before they start taken as of length 0\n"
            "mdx2obj: unit.mdx: groups of more than 8 nodes: the first 8 kept\n"
            "mdx2obj: unit.mdx: vertices of no group, or of one that names no node, left where "
            "they are\n");
  ASSERT_EQ(run("-q --format glb --scale 2 -o double.glb unit.mdx"), 0) << err();
  const nlohmann::json& j = read_glb(file("unit.glb")).json;
  EXPECT_EQ(j["scenes"][0]["nodes"].dump(), "[0,6]");
  EXPECT_EQ(j["nodes"][6].dump(), R"({"children":[1,3],"name":"unit"})");
  EXPECT_EQ(j["nodes"][2]["name"], "arm");
  EXPECT_EQ(j["skins"][0]["joints"].size(), 6u);
  EXPECT_TRUE(j["meshes"][0]["primitives"][0]["attributes"].contains("JOINTS_1"));
  std::string names, extras, kinds;
  for (const auto& a : j["animations"]) {
    names += a["name"].get<std::string>() + ",";
    extras += a["extras"].dump() + ";";
    for (const auto& s : a["samplers"]) kinds += s["interpolation"].get<std::string>()[0];
    kinds += ",";
  }
  EXPECT_EQ(names, "Stand,Walk,Still,Backwards,global sequence 0,");
  EXPECT_EQ(extras, R"({"looping":true,"moveSpeed":0.0,"rarity":0.0};)"
                    R"({"looping":false,"moveSpeed":270.0,"rarity":0.5};)"
                    R"({"looping":true,"moveSpeed":0.0,"rarity":0.0};)"
                    R"({"looping":true,"moveSpeed":0.0,"rarity":0.0};)"
                    R"({"global":true,"looping":true};)");
  // Root: linear, Bezier; arm: linear; hand: Hermite, Bezier; tip: none.
  EXPECT_EQ(kinds, "LCLCCS,LCLLLS,LLLLLL,LLLLLL,L,");
  // Each rotation on the side of the one before: no engine takes the long way.
  const Glb unit = read_glb(file("unit.glb"));
  for (const auto& a : unit.json["animations"]) {
    for (const auto& c : a["channels"]) {
      const auto& sampler = a["samplers"][c["sampler"].get<std::size_t>()];
      if (c["target"]["path"] != "rotation") continue;
      const std::vector<double> q = accessor_values(unit, sampler["output"]);
      const std::size_t step = sampler["interpolation"] == "CUBICSPLINE" ? 12 : 4;
      const std::size_t first = step == 12 ? 4 : 0;
      for (std::size_t k = first + step; k + 4 <= q.size(); k += step) {
        double dot = 0;
        for (int i = 0; i < 4; ++i) dot += q[k + i] * q[k - step + i];
        EXPECT_GE(dot, 0) << a["name"] << " key " << k / step;
      }
    }
  }
  // Baked: straight lines through samples 30 times a second and the keys.
  ASSERT_EQ(run("-q --format glb --bake 30 -o baked.glb unit.mdx"), 0) << err();
  const Glb baked = read_glb(file("baked.glb"));
  std::string baked_kinds;
  for (const auto& a : baked.json["animations"]) {
    for (const auto& s : a["samplers"]) baked_kinds += s["interpolation"].get<std::string>()[0];
  }
  EXPECT_EQ(baked_kinds, "LLLLLSLLLLLSLLLLLLLLLLLLL");
  for (int k = 0; k <= 30; ++k) {
    const double t = k * 1000.0 / 30;
    const std::vector<Mat> m = model_matrices(d.skeleton, -1, t, 0, 1000);
    const auto moved = gltf_vertices(baked, 0, gltf_world(baked, 0, float(t / 1000)));
    for (std::size_t v = 0; v < g.vertices.size(); ++v) {
      const std::uint8_t group = g.vertex_groups[v];
      const auto want = model_vertex(
          d.skeleton, m, group < g.groups.size() ? g.groups[group] : std::vector<std::uint32_t>{},
          g.vertices[v]);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(moved[v][c], want[c], 5e-5) << "baked, at " << t;
    }
  }
  for (const double scale : {1.0, 2.0}) {
    const Glb glb = read_glb(file(scale == 1 ? "unit.glb" : "double.glb"));
    struct Span {
      int animation;
      std::int32_t global;
      double start, end;
    };
    const Span spans[] = {{0, -1, 0, 1000},
                          {1, -1, 200, 800},
                          {2, -1, 5000, 6000},
                          {3, -1, 300, 300},
                          {4, 0, 0, 700}};
    for (const Span& span : spans) {
      for (double f : {0.0, 0.05, 0.1, 0.2, 0.25, 0.4, 0.5, 0.55, 0.6, 0.8, 0.9, 1.0}) {
        const double t = span.start + f * (span.end - span.start);
        const std::vector<Mat> m = model_matrices(d.skeleton, span.global, t, span.start, span.end);
        const auto moved =
            gltf_vertices(glb, 0, gltf_world(glb, span.animation, float((t - span.start) / 1000)));
        for (std::size_t v = 0; v < g.vertices.size(); ++v) {
          const std::uint8_t group = g.vertex_groups[v];
          const std::vector<std::uint32_t> ids =
              group < g.groups.size() ? g.groups[group] : std::vector<std::uint32_t>{};
          const auto want = model_vertex(d.skeleton, m, ids, g.vertices[v]);
          for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(moved[v][c], scale * want[c], 5e-5)
                << "animation " << span.animation << " at " << t << ", vertex " << v;
          }
        }
      }
    }
  }
}

// Past 256 joints (the model node among them) a vertex's joints are shorts;
// at rest every vertex stands where the file has it.
TEST_F(SkeletonFixture, ManyJointsAsShorts) {
  ModelDress d;
  for (std::uint32_t n = 0; n < 300; ++n) {
    // Helpers and attachments, each chunk of many entries.
    d.skeleton.nodes.push_back(
        {n % 2 ? "ATCH" : "HELP", "node" + std::to_string(n), n, n ? n - 1 : 0xFFFFFFFFu, {}});
    d.skeleton.pivots.push_back({float(n), 1, 2});
  }
  GeosetData g = make_geoset(4, 2);
  g.groups = {{299, 3}, {255}};
  g.vertex_groups = {0, 1, 0, 1};
  put("many.mdx", build_model({g}, nullptr, d));
  ASSERT_EQ(run("-q --format glb many.mdx"), 0) << err();
  const Glb glb = read_glb(file("many.glb"));
  const auto& attributes = glb.json["meshes"][0]["primitives"][0]["attributes"];
  EXPECT_EQ(glb.json["accessors"][attributes["JOINTS_0"].get<std::size_t>()]["componentType"],
            5123);
  EXPECT_EQ(accessor_values(glb, attributes["JOINTS_0"]),
            (std::vector<double>{299, 151, 0, 0, 277, 0, 0, 0, 299, 151, 0, 0, 277, 0, 0, 0}));
  const auto rest = gltf_vertices(glb, 0, gltf_world(glb, -1, 0));
  const std::vector<double> positions = accessor_values(glb, attributes["POSITION"]);
  for (std::size_t v = 0; v < rest.size(); ++v) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(rest[v][c], positions[3 * v + c], 1e-4) << v;
  }
}

// A sampling that passes the keys a GLB takes here stops at the channel that
// passes them: the sequences before it kept, the rest dropped, told once.
TEST_F(SkeletonFixture, SamplingPastTheBoundStopsThere) {
  ModelDress d;
  for (std::uint32_t n = 0; n < 40; ++n) {
    d.skeleton.nodes.push_back({"BONE", "bone" + std::to_string(n), n, 0xFFFFFFFFu, {}});
    d.skeleton.nodes.back().tracks.push_back(
        {"KGTR", 1, -1, {key(0, {-1, 0, 0}), key(1000, {1, 0, 0})}});
  }
  // 40 channels of 3 million samples each at 1000 a second.
  d.skeleton.sequences = {
      {"Stand", 0, 1000, 0, 0, 0}, {"Long", 0, 3000000, 0, 0, 0}, {"Walk", 0, 1000, 0, 0, 0}};
  put("long.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q --format glb --bake 1000 long.mdx"), 0) << err();
  EXPECT_EQ(err(), "mdx2obj: long.mdx: animations past the keys a GLB takes here dropped\n");
  const Glb glb = read_glb(file("long.glb"));
  std::string names;
  for (const auto& a : glb.json["animations"]) names += a["name"].get<std::string>() + ",";
  EXPECT_EQ(names, "Stand,");
  // A translation between opposite values is a straight line through 0,
  // whatever the sign of their dot product.
  const std::vector<double> x =
      accessor_values(glb, glb.json["animations"][0]["samplers"][0]["output"]);
  ASSERT_EQ(x.size(), 3u * 1001);
  EXPECT_EQ(x[3 * 250], -0.5);
  EXPECT_EQ(x[3 * 500], 0);
}

// Of nodes on a loop of parents each goes under the model node, as does a
// node whose parent id names no node; a node that hangs from a loop keeps its
// parent; of two nodes of one id the first is the parent.
TEST_F(SkeletonFixture, NodesOnALoopGoUnderTheModel) {
  ModelDress d;
  // 0 -> 1 -> 2 -> 0 a loop, 3 and 4 hang from it, 5 its own parent, then a
  // root, a node whose parent id 8 lies between ids that name nodes, and a
  // second node of id 2.
  const std::uint32_t ids[] = {0, 1, 2, 3, 4, 5, 10, 11, 2};
  const std::uint32_t parents[] = {1, 2, 0, 2, 3, 5, 0xFFFFFFFFu, 8, 0xFFFFFFFFu};
  for (std::size_t n = 0; n < 9; ++n)
    d.skeleton.nodes.push_back({"BONE", "n" + std::to_string(n), ids[n], parents[n], {}});
  GeosetData g = make_geoset(3, 1);
  g.groups = {{4}};
  g.vertex_groups = {0, 0, 0};
  put("loop.mdx", build_model({g}, nullptr, d));
  ASSERT_EQ(run("-q --format glb loop.mdx"), 0) << err();
  EXPECT_EQ(err(),
            "mdx2obj: loop.mdx: nodes whose parent names no node put under the model\n"
            "mdx2obj: loop.mdx: nodes on a loop of parents put under the model\n");
  const nlohmann::json j = read_glb(file("loop.glb")).json;
  std::string children;
  for (const auto& node : j["nodes"])
    children += node.value("children", nlohmann::json::array()).dump() + " ";
  // Nodes 1 to 9 are the joints, 10 the model node.
  EXPECT_EQ(children, "[] [] [] [4] [5] [] [] [] [] [] [1,2,3,6,7,8,9] ");
}

// Thousands of sequences over many nodes: a channel for each node and
// sequence, bounded as the keys are. The GLB's skeleton made directly: the
// GLB of 2^17 channels would be 40 MB of JSON.
TEST(GlbSkeleton, ChannelsPastTheBoundStopThere) {
  ModelSkeleton model;
  for (std::uint32_t n = 0; n < 32; ++n) {
    SkeletonNode node;
    node.object_id = n;
    node.tracks[kTranslation].keys.resize(1);
    model.nodes.push_back(node);
  }
  model.sequences.assign(4200, ModelSequence{"S", 0, 0, 0, true, 0});
  GlbSkeletonFaults faults;
  const GlbSkeleton s = glb_skeleton(model, "many", 1.0, 0, &faults);
  // 4,096 sequences of 32 channels each: 2^17 channels.
  EXPECT_EQ(s.animations.size(), 4096u);
  EXPECT_TRUE(faults.too_many_keys);
  EXPECT_EQ(glb_skeleton_warnings(faults),
            std::vector<std::string>{"animations past the keys a GLB takes here dropped"});
}

// Far from a sequence's start one float cannot tell a millisecond apart:
// of such times the first is kept, since glTF's times must rise.
TEST_F(SkeletonFixture, TimesOneFloatCannotTellApartKeepTheFirst) {
  ModelDress d;
  d.skeleton.nodes = {{"BONE", "a", 0, 0xFFFFFFFFu, {}}};
  d.skeleton.nodes[0].tracks.push_back(
      {"KGTR", 1, -1, {key(100000000, {1, 0, 0}), key(100000001, {2, 0, 0})}});
  d.skeleton.sequences = {{"Long", 0, 100000002, 0, 0, 0}};
  put("far.mdx", build_model({make_geoset(3, 1)}, nullptr, d));
  ASSERT_EQ(run("-q --format glb far.mdx"), 0) << err();
  const Glb glb = read_glb(file("far.glb"));
  const auto& sampler = glb.json["animations"][0]["samplers"][0];
  EXPECT_EQ(accessor_values(glb, sampler["input"]), (std::vector<double>{0, 100000}));
  EXPECT_EQ(accessor_values(glb, sampler["output"]), (std::vector<double>{1, 0, 0, 1, 0, 0}));
}

// What the rules cannot take: told once a model, the rest of the skeleton
// kept; a skeleton that does not fit its layout is none.
TEST_F(SkeletonFixture, WhatTheRulesCannotTakeIsWarned) {
  const float nan = std::nanf("");
  const TrackData moves{"KGTR", 1, -1, {key(0, {0, 0, 0}), key(100, {1, 0, 0})}};
  struct Case {
    std::vector<NodeData> nodes;
    std::uint32_t version;
    std::string warning;
    bool skin;
    std::string channels;
    // 1: 2 bytes after the BONE chunk's node; 2: 2 inside its node; 3: a node
    // of 10; 4: a bone without its geoset ids.
    int edit = 0;
  };
  const Case cases[] = {
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {{"KGRT", 7, -1, {key(0, {0, 0, 0, 1})}}, moves}}},
       800,
       "a track of an unknown interpolation dropped, with its node's tracks after it",
       true,
       "2:translation:2 "},
      // GLBS holds one: id 1 is past it.
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {{"KGTR", 1, 1, {key(0, {1, 0, 0})}}}}},
       800,
       "tracks of a global sequence not in GLBS dropped",
       true,
       "2:translation:2 "},
      {{{"BONE",
         "a",
         0,
         0xFFFFFFFFu,
         {{"KGTR", 1, -1, {key(0, {nan, 0, 0}), key(50, {1, 0, 0})}},
          {"KGRT", 1, -1, {key(0, {0, 0, 0, 0}), key(50, {0, 0, 0, 1})}}}}},
       800,
       "keys not finite, or rotations of no length, dropped",
       true,
       "1:translation:3 1:rotation:3 "},
      {{{"BONE", "a", 0, 1, {moves}}, {"HELP", "b", 1, 0, {}}},
       800,
       "nodes on a loop of parents put under the model",
       true,
       "1:translation:2 "},
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}},
       900,
       "skeleton not read: version 900 is not 800",
       false,
       ""},
      // A node that fits before one that does not: neither is kept.
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}, {"BONE", "b", 1, 0, {{"KGXX", 1, -1, {}}}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       ""},
      // Bytes that are no node, or in a node no track.
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       "",
       1},
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       "",
       2},
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       "",
       4},
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {moves}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       "",
       3},
      // Four billion keys claimed: read no further than the node.
      {{{"BONE", "a", 0, 0xFFFFFFFFu, {{"KGTR", 1, -1, {key(0, {1, 0, 0})}, 0xFFFFFFFFu}}}},
       800,
       "skeleton not read: the BONE chunk at offset ",
       false,
       ""},
  };
  for (const Case& c : cases) {
    ModelDress d;
    d.version = c.version;
    d.skeleton.nodes = c.nodes;
    d.skeleton.pivots = {{0, 0, 1}, {0, 1, 0}};
    // A sequence of length 0 is no fault; a global sequence no track uses
    // is no animation.
    d.skeleton.sequences = {{"Stand", 0, 100, 0, 0, 0}, {"Hit", 50, 50, 0, 0, 0}};
    d.skeleton.globals = {100};
    std::string bytes = build_model({make_geoset(3, 1)}, nullptr, d);
    const std::size_t chunk = bytes.find("BONE"), node = chunk + 8;
    const auto add_to = [&](std::size_t at, std::uint32_t n) {
      const std::uint32_t v = le_u32(reinterpret_cast<const unsigned char*>(&bytes[at])) + n;
      for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(v >> (8 * k));
    };
    const std::uint32_t node_size = le_u32(reinterpret_cast<const unsigned char*>(&bytes[node]));
    if (c.edit == 1) add_to(chunk + 4, 2), bytes.insert(node + node_size + 8, 2, '\0');
    if (c.edit == 2) add_to(chunk + 4, 2), add_to(node, 2), bytes.insert(node + node_size, 2, '\0');
    if (c.edit == 3) add_to(node, 10 - node_size);
    if (c.edit == 4) add_to(chunk + 4, std::uint32_t(-8)), bytes.erase(node + node_size, 8);
    put("odd.mdx", bytes);
    ASSERT_EQ(run("-q --format glb odd.mdx"), 0) << c.warning;
    const std::string told = err();
    EXPECT_EQ(told.rfind("mdx2obj: odd.mdx: " + c.warning, 0), 0u) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
    const nlohmann::json j = read_glb(file("odd.glb")).json;
    EXPECT_EQ(j.contains("skins"), c.skin) << c.warning;
    EXPECT_EQ(j.value("animations", nlohmann::json::array()).size(), c.skin ? 2u : 0u);
    // What is kept still moves: each channel's node, path and keys.
    std::string channels;
    const nlohmann::json animations =
        j.value("animations", nlohmann::json::array({nlohmann::json::object()}));
    for (const auto& ch : animations[0].value("channels", nlohmann::json::array())) {
      const auto& sampler = j["animations"][0]["samplers"][ch["sampler"].get<std::size_t>()];
      channels +=
          std::to_string(ch["target"]["node"].get<int>()) + ":" +
          ch["target"]["path"].get<std::string>() + ":" +
          std::to_string(j["accessors"][sampler["input"].get<std::size_t>()]["count"].get<int>()) +
          " ";
    }
    EXPECT_EQ(channels, c.channels) << c.warning;
  }
}

}  // namespace
