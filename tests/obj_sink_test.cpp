#include "obj/obj_sink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <thread>

#include "convert/convert.h"
#include "model_builder.h"
#include "obj/number_text.h"

namespace {

// The buffer holds exactly the longest text of all, that of -DBL_MAX.
std::string text(double value, char* (*format)(double, char*) = format_fixed6) {
  char buf[kMaxNumberText];
  return std::string(buf, format(value, buf));
}

float float_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(NumberText, WidenedFloatsPrintByTheRules) {
  const struct {
    double value;
    std::string text;
  } cases[] = {
      {0.0f, "0.000000"},
      {-0.0f, "0.000000"},
      {-2.25f, "-2.250000"},
      // Odd multiples of 1/128 and 1/256 end in an exact half or quarter.
      {0.0078125f, "0.007813"},
      {-0.0078125f, "-0.007813"},
      {0.00390625f, "0.003906"},
      {123456.789f, "123456.789063"},  // 123456.7890625
      // Tiny negatives keep their sign; tiny positives do not gain one.
      {-1e-7f, "-0.000000"},
      {5e-7f, "0.000000"},
      {float_bits(0x80000001u), "-0.000000"},
      {99999997952.0f, "99999997952.000000"},
      // Past 17 significant digits every digit prints as 0; the 18th rounds.
      {1e20f, "100000002004087730000.000000"},
      {1008909876782432256.0f, "1008909876782432300.000000"},
      {-3.4028234663852886e38, "-340282346638528860000000000000000000000.000000"},
      // Doubles (1 - v) are cut at 17 digits before the sixth decimal:
      // 0.0000194999999999999998... becomes a half there.
      {1.95e-05, "0.000020"},
      {-1.95e-05, "-0.000020"},
      {5e-7, "0.000000"},  // 4.99999999999999977e-07
      {1e23, "99999999999999992000000.000000"},
      {DBL_TRUE_MIN, "0.000000"},
      {-DBL_TRUE_MIN, "-0.000000"},
      {-DBL_MAX, "-17976931348623157" + std::string(292, '0') + ".000000"},
  };
  for (const auto& c : cases) EXPECT_EQ(text(c.value), c.text) << c.value;
}

TEST(NumberText, NonFiniteValuesTakeTheConsoleForms) {
  const struct {
    std::uint32_t bits;
    const char* text;
  } cases[] = {
      {0x7F800000u, "1.#INF00"},  {0xFF800000u, "-1.#INF00"},
      {0xFFC00000u, "-1.#IND00"},  // the default NaN
      {0x7FC00000u, "1.#QNAN0"},  {0xFFC00001u, "-1.#QNAN0"},
      {0x7F800001u, "1.#QNAN0"},  // signalling, quieted when widened
  };
  for (const auto& c : cases) EXPECT_EQ(text(float_bits(c.bits)), c.text) << std::hex << c.bits;
}

// The fast paths must agree with the exact path wherever they are taken:
// floats as themselves, through the float path and the path over doubles,
// and as 1 - v.
TEST(NumberText, FastPathsAgreeWithExactPath) {
  std::mt19937_64 rng(12345);
  auto check = [](float f) {
    char buf[kMaxNumberText];
    std::string exact = text(f, format_fixed6_exact);
    ASSERT_EQ(std::string(buf, format_float6(f, buf)), exact) << std::hexfloat << f;
    ASSERT_EQ(text(f), exact) << std::hexfloat << f;
    ASSERT_EQ(text(1.0 - f), text(1.0 - f, format_fixed6_exact)) << std::hexfloat << f;
  };
  for (int i = 0; i < 200000; ++i) check(float_bits(static_cast<std::uint32_t>(rng())));
  // Values a model really holds: multiples of small powers of two, near halves.
  for (int k = -70000; k <= 70000; ++k) check(static_cast<float>(k) / 1024.0f);
}

TEST(ObjSink, WritesTheFourRecords) {
  std::stringbuf out;
  ObjSink sink;
  attach_obj_sink(&sink, &out);
  write_vertex(sink, 0.0f, 1.5f, -2.25f);
  write_normal(sink, 0.0f, 0.0f, 1.0f);
  write_tex_coord(sink, 0.25f, 0.25f);
  write_face(sink, 0, 0, 1, 2);
  // The texture v is flipped in double precision, without clamping.
  write_tex_coord(sink, 0.5f, 0.0f);
  write_tex_coord(sink, 0.5f, 1.5f);
  write_tex_coord(sink, 0.0078125f, 0.9921875f);              // halves on both sides
  write_tex_coord(sink, 0.0f, 1.00000012f);                   // 1 - v just below zero
  write_tex_coord(sink, 0.0f, -0.840873539447784423828125f);  // 1.840873 in float
  write_tex_coord(sink, 0.0f, 1e-30f);                        // 1 - v rounds to 1 in double
  write_tex_coord(sink, 0.0f, float_bits(0xFFC00000u));
  write_tex_coord(sink, 0.0f, -std::numeric_limits<float>::infinity());
  // Face numbers count from the geoset's first vertex, beyond 16 bits.
  write_face(sink, 4294967295ull, 0, 0, 1);
  std::string err;
  EXPECT_TRUE(flush_obj_sink(sink, &err)) << err;
  EXPECT_EQ(out.str(),
            "v 0.000000 1.500000 -2.250000\n"
            "vn 0.000000 0.000000 1.000000\n"
            "vt 0.250000 0.750000\n"
            "f 1/1/1 2/2/2 3/3/3\n"
            "vt 0.500000 1.000000\n"
            "vt 0.500000 -0.500000\n"
            "vt 0.007813 0.007813\n"
            "vt 0.000000 -0.000000\n"
            "vt 0.000000 1.840874\n"
            "vt 0.000000 1.000000\n"
            "vt 0.000000 -1.#IND00\n"
            "vt 0.000000 1.#INF00\n"
            "f 4294967296/4294967296/4294967296 4294967296/4294967296/4294967296 "
            "4294967297/4294967297/4294967297\n");
}

// --up y and --scale as exact texts: (x, z, -y) with the sign bit of y
// flipped (a NaN's too), positions scaled in double and rounded once to a
// float (past the largest float: an infinity), normals only turned.
TEST(ObjSink, UpAxisAndScaleByTheRules) {
  const float largest = std::numeric_limits<float>::max();
  const struct {
    bool y_up;
    double scale;
    float x, y, z;
    std::string records;
  } cases[] = {
      {true, 1.0, 1.0f, 2.0f, 3.0f,
       "v 1.000000 3.000000 -2.000000\nvn 1.000000 3.000000 -2.000000\n"},
      {true, 1.0, 0.0f, -2.5f, 0.0f,
       "v 0.000000 0.000000 2.500000\nvn 0.000000 0.000000 2.500000\n"},
      {true, 1.0, 0.0f, float_bits(0x7FC00000u), 0.0f,
       "v 0.000000 0.000000 -1.#IND00\nvn 0.000000 0.000000 -1.#IND00\n"},
      {true, 1.0, 0.0f, -largest, 0.0f,
       "v 0.000000 0.000000 340282346638528860000000000000000000000.000000\n"
       "vn 0.000000 0.000000 340282346638528860000000000000000000000.000000\n"},
      // 1.5 * 0.01 is 0.015 in double, 0.01499999966 as the nearest float.
      {false, 0.01, 1.5f, -2.0f, 100.0f,
       "v 0.015000 -0.020000 1.000000\nvn 1.500000 -2.000000 100.000000\n"},
      {false, 2.0, largest, -largest, 0.5f,
       "v 1.#INF00 -1.#INF00 1.000000\nvn 340282346638528860000000000000000000000.000000 "
       "-340282346638528860000000000000000000000.000000 0.500000\n"},
      {false, 1.00000001, largest, 1.0f, 1.0f,  // just past the largest float, rounded back to it
       "v 340282346638528860000000000000000000000.000000 1.000000 1.000000\n"
       "vn 340282346638528860000000000000000000000.000000 1.000000 1.000000\n"},
      {true, 0.5, 2.0f, 4.0f, -6.0f,
       "v 1.000000 -3.000000 -2.000000\nvn 2.000000 -6.000000 -4.000000\n"},
  };
  for (const auto& c : cases) {
    std::stringbuf out;
    ObjSink sink;
    Settings style;
    style.y_up = c.y_up;
    style.scale = c.scale;
    attach_obj_sink(&sink, &out, kObjBufferSize, 0, style);
    write_vertex(sink, c.x, c.y, c.z);
    write_normal(sink, c.x, c.y, c.z);
    std::string err;
    EXPECT_TRUE(flush_obj_sink(sink, &err)) << err;
    EXPECT_EQ(out.str(), c.records) << c.y_up << " " << c.scale;
  }
}

// Face numbers across every change of their length, and of the prefix
// (number / 1000) that the numbers of a run share: faces alone, and runs of
// faces over every vertex number a geoset can give, from bases where the
// numbers start, cross 1,000 or reach nine digits.
TEST(ObjSink, FaceNumbersCrossEveryLength) {
  struct Face {
    std::uint64_t base;
    std::uint16_t a, b, c;
  };
  std::vector<std::vector<Face>> runs;
  for (std::uint64_t p = 10; p <= 10000000000ull; p *= 10) runs.push_back({{p - 2, 0, 1, 2}});
  std::mt19937 rng(7);
  for (std::uint64_t base : {0ull, 998ull, 99934463ull, 99934464ull, 4294967295ull}) {
    std::vector<Face> run = {{base, 0, 65535, 1}, {base, 998, 999, 1000}};
    for (int i = 0; i < 3000; ++i) {
      run.push_back({base, static_cast<std::uint16_t>(rng()), static_cast<std::uint16_t>(rng()),
                     static_cast<std::uint16_t>(rng())});
    }
    runs.push_back(run);
  }
  for (const auto& run : runs) {
    std::stringbuf out;
    ObjSink sink;
    attach_obj_sink(&sink, &out, 600);
    std::string bytes, expected;
    for (const Face& f : run) {
      expected += "f";
      for (std::uint16_t i : {f.a, f.b, f.c}) {
        bytes += {static_cast<char>(i), static_cast<char>(i >> 8)};
        std::string text = std::to_string(f.base + i + 1);
        expected += " " + text + "/" + text + "/" + text;
      }
      expected += "\n";
    }
    write_records(sink, RecordKind::kFace, reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<std::uint32_t>(run.size()), run[0].base);
    std::string err;
    EXPECT_TRUE(flush_obj_sink(sink, &err)) << err;
    EXPECT_EQ(out.str(), expected) << "base " << run[0].base;
  }
}

// A stream that takes no byte at first, as a full disk does, and says
// nothing of why: the sink knows of the failure before the flush, writes
// nothing after it even where the stream would take it again, and its
// reason is not one that some earlier call left behind.
TEST(ObjSink, FailedWriteIsReported) {
  struct FullOnce : std::stringbuf {
    bool full = true;
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      if (full) return full = false;
      return std::stringbuf::xsputn(s, n);
    }
  };
  for (int writer_thread : {1, 0}) {
    FullOnce out;
    ObjSink sink;
    attach_obj_sink(&sink, &out, 600, writer_thread);
    for (int i = 0; i < 100; ++i) write_face(sink, 0, 0, 1, 2);
    EXPECT_TRUE(sink.failed()) << writer_thread;
    std::string err;
    errno = EACCES;
    EXPECT_FALSE(flush_obj_sink(sink, &err));
    EXPECT_EQ(err, "write failed") << writer_thread;
    EXPECT_EQ(out.str(), "") << writer_thread;
  }
  // A stream that cannot flush, with nothing left to write before it.
  struct NoSync : std::stringbuf {
    int sync() override { return -1; }
  } unflushed;
  ObjSink sink;
  attach_obj_sink(&sink, &unflushed, 600, 0);
  std::string err;
  errno = EACCES;
  EXPECT_FALSE(flush_obj_sink(sink, &err));
  EXPECT_EQ(err, "write failed");
}

// The flush returns once the writer thread has written the last block.
TEST(ObjSink, FlushWaitsForTheLastBlock) {
  struct Slow : std::stringbuf {
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return std::stringbuf::xsputn(s, n);
    }
  } out;
  ObjSink sink;
  attach_obj_sink(&sink, &out, 600);
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    write_face(sink, 0, 0, 1, 2);
    expected += "f 1/1/1 2/2/2 3/3/3\n";
  }
  std::string err;
  EXPECT_TRUE(flush_obj_sink(sink, &err)) << err;
  EXPECT_EQ(out.str(), expected);
}

// A model that a pool cuts into hundreds of chunks of small blocks, of every
// record kind and with numbers that differ from chunk to chunk, converted
// with `threads` into `out`. Its last geoset's positions have 36 digits and
// more: their chunks outgrow the text their records were expected to make.
struct PoolFixture : testing::Test {
  std::string model;
  bool y_up = false;  // and positions scaled by 0.5: the style of every chunk
  PoolFixture() {
    std::vector<GeosetData> geosets;
    for (int g = 0; g < 12; ++g) {
      geosets.push_back(make_geoset(300 + 450 * g, 700 * g + 5, g * 7.0f));
    }
    for (Vec3& v : geosets.back().vertices) v = {v.x * 1e35f, v.y * 1e35f, v.z * 1e35f};
    model = build_model(geosets);
  }
  bool convert(std::streambuf* out, int threads, std::string* err, std::string* console) {
    std::stringbuf in(model);
    ModelSource src;
    attach_model_source(&src, &in);
    ObjSink sink;
    Settings style;
    style.objects = true;
    style.y_up = y_up;
    style.scale = y_up ? 0.5 : 1.0;
    attach_obj_sink(&sink, out, 2048, threads, style);
    std::ostringstream lines;
    const bool whole = walk_and_flush(src, sink, lines, err, nullptr);
    *console = lines.str();
    return whole;
  }
};

// No chunk is written out of order, twice or not at all: the OBJ is byte for
// byte that of one thread, with any number of threads.
TEST_F(PoolFixture, WritesWhatOneThreadWrites) {
  for (bool styled : {false, true}) {
    y_up = styled;
    std::stringbuf one;
    std::string err, console;
    ASSERT_TRUE(convert(&one, 0, &err, &console)) << err;
    ASSERT_GT(one.str().size(), 400 * 2048u);
    for (int threads : {2, 3, 8}) {
      std::stringbuf pooled;
      std::string pooled_console;
      EXPECT_TRUE(convert(&pooled, threads, &err, &pooled_console)) << err;
      EXPECT_TRUE(pooled.str() == one.str()) << threads << " threads, styled " << styled;
      EXPECT_EQ(pooled_console, console) << threads << " threads";
    }
  }
}

// A write that fails while the pool formats: nothing is written after it,
// what was written is the start of the OBJ, and the walk stops at the next
// block instead of reading the model to its end.
TEST_F(PoolFixture, FailedWriteStopsTheWork) {
  struct FailsAt : std::stringbuf {
    int writes = 0, fail_at = 0, after = 0;
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      if (++writes > fail_at) return after += writes > fail_at + 1, 0;
      return std::stringbuf::xsputn(s, n);
    }
  };
  std::stringbuf one;
  std::string err, console;
  ASSERT_TRUE(convert(&one, 0, &err, &console)) << err;
  for (int fail_at : {0, 1, 40}) {
    FailsAt out;
    out.fail_at = fail_at;
    std::string pooled_console;
    EXPECT_FALSE(convert(&out, 3, &err, &pooled_console));
    EXPECT_EQ(err, "write failed");
    EXPECT_EQ(out.after, 0) << "written after the failure";
    EXPECT_EQ(out.str(), one.str().substr(0, out.str().size()));
    EXPECT_LT(pooled_console.size(), console.size() / 2) << fail_at;
  }
}

}  // namespace
