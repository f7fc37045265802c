#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "obj/obj.h"
#include "test_util.h"

namespace {

// A sink over a string, read back after a flush.
struct SinkFixture : ::testing::Test {
  std::stringbuf out;
  ObjSink sink;

  void SetUp() override { attach_obj_sink(&sink, &out); }
  std::string written() {
    std::string err;
    EXPECT_TRUE(flush_obj_sink(sink, &err)) << err;
    return out.str();
  }
};

TEST_F(SinkFixture, WritesTheFourRecords) {
  write_vertex(sink, 0.0f, 1.5f, -2.25f);
  write_normal(sink, 0.0f, 0.0f, 1.0f);
  write_tex_coord(sink, 0.25f, 0.25f);
  write_face(sink, 0, 1, 2);
  EXPECT_EQ(written(),
            "v 0.000000 1.500000 -2.250000\n"
            "vn 0.000000 0.000000 1.000000\n"
            "vt 0.250000 0.750000\n"
            "f 1/1/1 2/2/2 3/3/3\n");
}

TEST_F(SinkFixture, FlipsTextureVInDoublePrecision) {
  write_tex_coord(sink, 0.5f, 0.0f);
  write_tex_coord(sink, 0.5f, 1.0f);
  write_tex_coord(sink, 0.5f, 1.5f);              // no clamping
  write_tex_coord(sink, 0.0078125f, 0.9921875f);  // halves on both sides
  write_tex_coord(sink, 0.0f, 1.00000012f);       // 1 - v just below zero
  write_tex_coord(sink, 0.0f, 0.3f);              // 0.69999998807907104
  write_tex_coord(sink, 0.0f, 1e-30f);            // 1 - v rounds to 1 in double
  write_tex_coord(sink, 0.0f, -0.0078125f);
  float nan;
  std::uint32_t default_nan = 0xFFC00000u;
  std::memcpy(&nan, &default_nan, sizeof nan);
  write_tex_coord(sink, 0.0f, nan);
  write_tex_coord(sink, 0.0f, -std::numeric_limits<float>::infinity());
  EXPECT_EQ(written(),
            "vt 0.500000 1.000000\n"
            "vt 0.500000 0.000000\n"
            "vt 0.500000 -0.500000\n"
            "vt 0.007813 0.007813\n"
            "vt 0.000000 -0.000000\n"
            "vt 0.000000 0.700000\n"
            "vt 0.000000 1.000000\n"
            "vt 0.000000 1.007813\n"
            "vt 0.000000 -1.#IND00\n"
            "vt 0.000000 1.#INF00\n");
}

TEST_F(SinkFixture, FaceNumbersAreNotLimitedTo16Bits) {
  write_face(sink, 0, 0, 0);
  write_face(sink, 65535, 65536, 70000);
  write_face(sink, 4294967295ull, 4294967296ull, 0);
  EXPECT_EQ(written(),
            "f 1/1/1 1/1/1 1/1/1\n"
            "f 65536/65536/65536 65537/65537/65537 70001/70001/70001\n"
            "f 4294967296/4294967296/4294967296 4294967297/4294967297/4294967297 1/1/1\n");
}

// Records that straddle the edge of a small buffer come out whole and in
// order, the same as through the full-size buffer.
TEST(ObjSinkBuffer, RecordsCrossTheBufferEdge) {
  std::stringbuf small_out, large_out;
  ObjSink small_sink, large_sink;
  attach_obj_sink(&small_sink, &small_out, 600);
  attach_obj_sink(&large_sink, &large_out);
  for (ObjSink* s : {&small_sink, &large_sink}) {
    for (int i = 0; i < 5000; ++i) {
      float f = static_cast<float>(i) * -3.3e7f;
      write_vertex(*s, f, 1.0f / static_cast<float>(i + 1), 3.4e38f);
      write_face(*s, static_cast<std::uint64_t>(i) << 40, i, 7);
    }
  }
  std::string err;
  ASSERT_TRUE(flush_obj_sink(small_sink, &err));
  ASSERT_TRUE(flush_obj_sink(large_sink, &err));
  EXPECT_EQ(small_out.str(), large_out.str());
  EXPECT_GT(small_out.str().size(), 100u * 600u);
}

#ifndef _WIN32
TEST(ObjSinkFile, FullDiskIsReported) {
  ObjSink sink;
  std::string err;
  ASSERT_TRUE(open_obj_sink(&sink, "/dev/full", &err)) << err;
  write_vertex(sink, 1.0f, 2.0f, 3.0f);
  EXPECT_FALSE(close_obj_sink(sink, &err));
  EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
}
#endif

TEST(ObjSinkFile, CreatesAndEmptiesTheFile) {
  TempDir dir;
  std::string name = dir.file("out.obj");
  write_file(name, "old contents that must go\n");
  ObjSink sink;
  std::string err;
  ASSERT_TRUE(open_obj_sink(&sink, name, &err)) << err;
  write_face(sink, 0, 1, 2);
  ASSERT_TRUE(close_obj_sink(sink, &err)) << err;
  EXPECT_EQ(read_file(name), text_file("f 1/1/1 2/2/2 3/3/3\n"));
  EXPECT_FALSE(open_obj_sink(&sink, dir.file("missing/out.obj"), &err));
  EXPECT_NE(err.find("cannot create"), std::string::npos) << err;
}

}  // namespace
