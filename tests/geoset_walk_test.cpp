#include <gtest/gtest.h>

#include <random>

#include "test_util.h"

namespace {

struct WalkFixture : ::testing::Test {
  std::vector<GeosetData> geosets;
  std::vector<GeosetOffsets> at;
  std::string bytes;

  WalkRun build_and_walk() {
    bytes = build_model(geosets, &at);
    return run_walk(bytes);
  }
  // The walk wrote `written` and printed their progress, with the index and
  // texture blocks at `where`.
  void expect_geosets(const WalkRun& run, const std::vector<GeosetData>& written,
                      const std::vector<GeosetOffsets>& where) {
    EXPECT_TRUE(run.whole) << run.err;
    EXPECT_EQ(run.obj, expected_obj(written));
    std::string progress;
    for (std::size_t i = 0; i < written.size(); ++i)
      progress += expected_progress(written[i], where[i]);
    EXPECT_EQ(run.console, progress);
  }
};

// Counts are used as read: leftover indices (K = 7) are not read, a geoset
// without vertices still writes its faces, only the first texture block after
// the index block counts, and face numbers go past 65535.
TEST_F(WalkFixture, GeosetsShareOneVertexNumbering) {
  GeosetData empty = make_geoset(0, 0);
  empty.indices = {0, 1, 2};
  geosets = {make_geoset(4, 2), empty, make_geoset(70000, 1), make_geoset(3, 1)};
  geosets[0].indices.push_back(3);
  geosets[0].tex_blocks = 2;
  WalkRun run = build_and_walk();
  expect_geosets(run, geosets, at);
  EXPECT_NE(run.obj.find("\nf 70005/70005/70005 70006/70006/70006 70007/70007/70007\n"),
            std::string::npos);
}

// The texture search is not bounded by the geoset: it takes the next
// geoset's block, and the geosets before that block are never converted.
TEST_F(WalkFixture, GeosetWithoutTextureBlockBorrowsTheNextOne) {
  geosets = {make_geoset(3, 1), make_geoset(4, 2, 5.0f), make_geoset(3, 1, 9.0f)};
  geosets[0].tex_blocks = 0;
  WalkRun run = build_and_walk();
  GeosetData first = geosets[0];
  first.tex_coords = geosets[1].tex_coords;
  expect_geosets(run, {first, geosets[2]}, {{0, at[0].index_tag, at[1].tex_tag}, at[2]});
}

// "VRTX" in the bytes of a texture coordinate starts a geoset that is not
// there: its counts are the bytes that follow (0 and 0), and it takes the next
// real geoset's index and texture blocks.
TEST_F(WalkFixture, TagBytesInsideDataMakeAFalseGeoset) {
  float vrtx_as_float;
  std::memcpy(&vrtx_as_float, "VRTX", 4);
  geosets = {make_geoset(3, 1), make_geoset(4, 2, 2.0f)};
  geosets[0].tex_coords = {{vrtx_as_float, 0.0f}, {0.5f, 0.0f}, {0.0f, 1.0f}};
  WalkRun run = build_and_walk();
  GeosetData false_geoset = geosets[1];
  false_geoset.vertices.clear();
  false_geoset.normals.clear();
  expect_geosets(run, {geosets[0], false_geoset}, at);
}

TEST(GeosetWalk, EmptyAndTaglessInputsWriteNothing) {
  for (const std::string& bytes :
       {std::string(), std::string("VRT"), std::string(5000, 'V'), build_model({})}) {
    WalkRun run = run_walk(bytes);
    EXPECT_TRUE(run.whole) << run.err;
    EXPECT_EQ(run.obj + run.console, "");
  }
  // A tag in the last four bytes is found, and then its count is missing.
  WalkRun run = run_walk("VRTX");
  EXPECT_EQ(run.console + run.err, "Geoset Found!\nfile ends inside the vertex count at offset 4");
}

// A model that is cut short while it is read fails where the bytes ran out,
// with what it read before in whole records, and nothing made up after it.
TEST(GeosetWalk, FileShorterThanItsSizeFails) {
  struct ShrunkBuf : std::stringbuf {
    using std::stringbuf::stringbuf;
    pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode which) override {
      return dir == std::ios::end ? pos_type(100000) : std::stringbuf::seekoff(off, dir, which);
    }
  };
  const std::string model = build_model({make_geoset(40, 20)});
  const WalkRun whole = run_walk(model);
  for (const std::string& bytes :
       {std::string(5000, 'x'), model, model.substr(0, model.find("NRMS") - 100)}) {
    SCOPED_TRACE(bytes.size());
    ShrunkBuf in(bytes);
    ModelSource src;
    attach_model_source(&src, &in, 64);
    WalkRun run = walk_source(src, 600);
    EXPECT_FALSE(run.whole);
    EXPECT_EQ(run.err.rfind("read failed near offset ", 0), 0u) << run.err;
    EXPECT_EQ(bad_line(run.obj), "");
    EXPECT_EQ(whole.obj.compare(0, run.obj.size(), run.obj), 0) << run.obj;
    EXPECT_EQ(whole.console.compare(0, run.console.size(), run.console), 0) << run.console;
    if (bytes[0] == 'x') {
      EXPECT_EQ(run.console, "");
    }
  }
}

// Models cut and bent at random, through windows of every size: the windowed
// source must say and write what the plain one does, in whole records.
TEST(GeosetWalk, WindowedSourceAgreesWithPlainOnMutatedModels) {
  std::mt19937 rng(99);
  std::vector<GeosetData> geosets = {make_geoset(5, 3), make_geoset(4, 2, 3.0f),
                                     make_geoset(6, 4, -2.0f)};
  geosets[1].tex_blocks = 2;
  const std::string model = build_model(geosets);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = model;
    for (int m = rng() % 4; m > 0 && !bytes.empty(); --m) {
      std::size_t at = rng() % bytes.size();
      unsigned kind = rng() % 3;
      if (kind == 0) bytes.resize(at);
      if (kind == 1) bytes[at] = static_cast<char>(rng());
      if (kind == 2) bytes.insert(at, std::string(rng() % 9, "VRTXPUBS"[rng() % 8]));
    }
    for (std::size_t window : {4u, 5u, 9u, 64u, 1000u}) {
      ASSERT_EQ(check_walk(bytes, window), "") << "round " << round << ", window " << window;
    }
  }
}

// The lines of `text` whose first word is `word`.
std::string lines_of(const std::string& text, const std::string& word) {
  std::string lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.substr(0, line.find_first_of(" :")) == word) lines += line + "\n";
  }
  return lines;
}

// A model cut short at any byte: the walk writes what it read in whole
// records, each kind of them and of progress lines as it did for the whole
// model up to there, and fails exactly when the cut falls inside bytes that
// it reads. A cut that hides a texture block drops just those records; one
// that hides the last index block ends the walk after that geoset's normals.
TEST_F(WalkFixture, EveryCutKeepsWholeRecordsAndFailsInsideWhatIsRead) {
  geosets = {make_geoset(4, 2), make_geoset(3, 1, 7.0f)};
  for (GeosetData& g : geosets) g.tex_blocks = 2;
  geosets[0].indices.push_back(1);  // a leftover index, never read
  const WalkRun whole = build_and_walk();
  // From each block's count to its last value read: not the second texture
  // block, not the leftover index.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  for (std::size_t i = 0; i < geosets.size(); ++i) {
    const GeosetData& g = geosets[i];
    spans.push_back({at[i].vertex_tag + 4, at[i].vertex_tag + 16 + 24 * g.vertices.size()});
    spans.push_back({at[i].index_tag + 4, at[i].index_tag + 8 + 6 * (g.indices.size() / 3)});
    spans.push_back({at[i].tex_tag + 4, at[i].tex_tag + 8 + 8 * g.tex_coords.size()});
  }
  for (std::size_t len = 0; len <= bytes.size(); ++len) {
    WalkRun cut = run_walk(bytes.substr(0, len), 16, 600);
    EXPECT_EQ(bad_line(cut.obj), "") << "cut at " << len;
    for (const char* word :
         {"v", "vn", "vt", "f", "Geoset", "Vertices", "Normals", "TVerts", "Faces"}) {
      std::string part = lines_of(cut.obj + cut.console, word);
      EXPECT_EQ(lines_of(whole.obj + whole.console, word).compare(0, part.size(), part), 0)
          << "cut at " << len << ":\n"
          << part;
    }
    bool inside = false;
    for (const auto& span : spans) inside = inside || (span.first <= len && len < span.second);
    ASSERT_EQ(cut.whole, !inside) << "cut at " << len << ": " << cut.err;
  }

  const std::uint64_t vertices = at[0].vertex_tag + 8, normals = vertices + 4 * 12 + 8;
  const std::uint64_t tex = at[0].tex_tag + 8, indices = at[0].index_tag + 8;
  const struct {
    std::uint64_t len, offset;
    const char* what;
  } named_cuts[] = {
      {vertices - 2, vertices - 4, "vertex count"},
      {vertices + 12 + 5, vertices + 12, "vertex positions"},
      {normals + 24 + 11, normals + 24, "normals"},
      {tex + 7, tex, "texture coordinates"},
      {indices + 6 + 1, indices + 6, "indices"},
  };
  for (const auto& c : named_cuts) {
    EXPECT_EQ(run_walk(bytes.substr(0, c.len)).err, std::string("file ends inside the ") + c.what +
                                                        " at offset " + std::to_string(c.offset));
  }
}

}  // namespace
