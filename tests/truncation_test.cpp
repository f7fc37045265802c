#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model_builder.h"
#include "test_util.h"
#include "walk_runner.h"

namespace {

enum class CutEnd { kNextGeoset, kWalkEnds, kFails };

// What the walk writes and prints for one geoset of a file cut to `len`
// bytes, worked out from where its blocks lie: a cut inside a count or a
// value fails; a cut that only hides a later tag ends the walk quietly.
CutEnd expect_cut(const GeosetData& g, const GeosetOffsets& at, std::uint64_t len,
                  std::uint64_t base, std::string* obj, std::string* console) {
  auto whole_records = [&](std::uint64_t data, std::size_t size, std::size_t count) {
    std::uint64_t fit = len > data ? (len - data) / size : 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(fit, count));
  };
  if (len < at.vertex_tag + 4) return CutEnd::kWalkEnds;
  *console += "Geoset Found!\n";
  if (len < at.vertex_tag + 8) return CutEnd::kFails;
  const std::size_t n = g.vertices.size();
  *console += "Vertices: " + std::to_string(n) + "\n";
  std::uint64_t data = at.vertex_tag + 8;
  std::size_t written = whole_records(data, 12, n);
  for (std::size_t i = 0; i < written; ++i) *obj += vec3_line("v", g.vertices[i]);
  if (written < n) return CutEnd::kFails;

  std::uint64_t normal_count_at = data + 12 * n + 4;
  if (len < normal_count_at + 4) return CutEnd::kFails;
  const std::size_t m = g.normals.size();
  *console += "Normals: " + std::to_string(m) + "\n";
  written = whole_records(normal_count_at + 4, 12, m);
  for (std::size_t i = 0; i < written; ++i) *obj += vec3_line("vn", g.normals[i]);
  if (written < m) return CutEnd::kFails;

  if (!g.has_index_block || len < at.index_tag + 4) return CutEnd::kWalkEnds;
  bool has_tex = g.tex_blocks > 0 && len >= at.tex_tag + 4;
  if (has_tex) {
    if (len < at.tex_tag + 8) return CutEnd::kFails;
    const std::size_t t = g.tex_coords.size();
    *console += "TVerts: " + std::to_string(t) + "\n" + std::to_string(at.tex_tag + 8) + "\n";
    written = whole_records(at.tex_tag + 8, 8, t);
    for (std::size_t i = 0; i < written; ++i) *obj += tex_line(g.tex_coords[i]);
    if (written < t) return CutEnd::kFails;
  }

  if (len < at.index_tag + 8) return CutEnd::kFails;
  const std::size_t k = g.indices.size();
  *console += "Faces: " + std::to_string(k) + "\n" + std::to_string(at.index_tag + 8) + "\n";
  written = whole_records(at.index_tag + 8, 6, k / 3);
  for (std::size_t i = 0; i < written; ++i) *obj += face_line(g, i, base);
  if (written < k / 3) return CutEnd::kFails;
  return has_tex ? CutEnd::kNextGeoset : CutEnd::kWalkEnds;
}

struct CutModel : ::testing::Test {
  std::vector<GeosetData> geosets;
  std::vector<GeosetOffsets> at;
  std::string bytes;

  void SetUp() override {
    geosets = {make_geoset(4, 2), make_geoset(3, 1, 7.0f)};
    for (GeosetData& g : geosets) g.tex_blocks = 2;
    geosets[0].indices.push_back(1);  // a leftover index, never read
    bytes = build_model(geosets, &at);
  }
};

TEST_F(CutModel, EveryCutWritesOnlyWholeRecordsAndFailsWhenAValueIsCut) {
  int failures = 0;
  for (std::size_t len = 0; len <= bytes.size(); ++len) {
    std::string obj, console;
    CutEnd end = CutEnd::kNextGeoset;
    std::uint64_t base = 0;
    for (std::size_t i = 0; i < geosets.size() && end == CutEnd::kNextGeoset; ++i) {
      end = expect_cut(geosets[i], at[i], len, base, &obj, &console);
      base += geosets[i].vertices.size();
    }
    WalkRun run = run_walk(bytes.substr(0, len), 16, 600);
    ASSERT_EQ(run.console, console) << "cut at " << len;
    ASSERT_EQ(run.obj, obj) << "cut at " << len;
    if (end == CutEnd::kFails) {
      ++failures;
      ASSERT_EQ(run.result, WalkResult::kInputFailed) << "cut at " << len;
      EXPECT_EQ(run.err.rfind("file ends inside the ", 0), 0u) << run.err;
    } else {
      ASSERT_EQ(run.result, WalkResult::kDone) << "cut at " << len << ": " << run.err;
    }
  }
  EXPECT_GT(failures, 100);
}

// A count far beyond the file reads records up to its end, then fails.
TEST_F(CutModel, HugeCountsEndAtTheEndOfTheFile) {
  const GeosetData& g = geosets[0];
  const std::uint64_t vertex_data = at[0].vertex_tag + 8;
  const std::uint64_t normal_count_at = vertex_data + 12 * g.vertices.size() + 4;
  const struct {
    std::uint64_t count_at;
    const char* prefix;
    std::uint64_t record_size;
  } blocks[] = {
      {at[0].vertex_tag + 4, "v ", 12},
      {normal_count_at, "vn ", 12},
      {at[0].tex_tag + 4, "vt ", 8},
      {at[0].index_tag + 4, "f ", 6},
  };
  for (const auto& b : blocks) {
    for (std::uint32_t huge : {0xFFFFFFFFu, 0x7FFFFFFFu}) {
      ByteWriter w;
      w.bytes = bytes;
      w.patch_u32(b.count_at, huge);
      WalkRun run = run_walk(w.bytes);
      EXPECT_EQ(run.result, WalkResult::kInputFailed) << b.prefix;
      std::size_t lines = 0;
      for (std::size_t p = 0;
           (p = run.obj.find(std::string("\n") + b.prefix, p)) != std::string::npos; ++p)
        ++lines;
      lines += run.obj.rfind(b.prefix, 0) == 0;
      EXPECT_EQ(lines, (bytes.size() - (b.count_at + 4)) / b.record_size) << b.prefix;
    }
  }
}

}  // namespace

namespace {

// Files of 0 to 7 bytes, with and without a tag in their last bytes: a tag
// with no room for its count is found and then fails; no shorter file can
// hold a tag at all.
TEST(ShortFile, TagsInTheLastBytes) {
  for (std::size_t size = 0; size <= 7; ++size) {
    WalkRun plain = run_walk(std::string(size, 'V'));
    EXPECT_EQ(plain.result, WalkResult::kDone);
    EXPECT_EQ(plain.console, "");
    if (size < 4) continue;
    std::string bytes(size - 4, '\0');
    WalkRun run = run_walk(bytes + "VRTX");
    EXPECT_EQ(run.result, WalkResult::kInputFailed) << size;
    EXPECT_EQ(run.console, "Geoset Found!\n");
    EXPECT_EQ(run.err, "file ends inside the vertex count at offset " + std::to_string(size));
    EXPECT_EQ(run.obj, "");
  }
  // Room for a count of zero: then the normal count is what is missing.
  std::string bytes = std::string("VRTX") + std::string(4, '\0');
  WalkRun run = run_walk(bytes);
  EXPECT_EQ(run.console, "Geoset Found!\nVertices: 0\n");
  EXPECT_EQ(run.err, "file ends inside the normal count at offset 12");
}

}  // namespace
