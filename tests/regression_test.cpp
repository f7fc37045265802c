// Replays every input the fuzzer ever found: tests/regressions holds them,
// each named after what it caught, with the window-size byte first.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"
#include "walk_checks.h"

namespace {

TEST(FuzzRegressions, EveryKeptInputStillHolds) {
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(host_path(MDX2OBJ_REGRESSIONS), ec)) {
    if (entry.path().extension() == ".md") continue;
    std::string bytes = read_file(entry.path().string());
    if (bytes.empty()) continue;
    EXPECT_EQ(
        walk_checks::check_walk(bytes.substr(1), 4 + static_cast<unsigned char>(bytes[0]) % 64), "")
        << entry.path().filename();
  }
  EXPECT_FALSE(ec) << ec.message();
}

// The record checker itself must tell whole records from broken ones.
TEST(FuzzRegressions, RecordCheckerRejectsBrokenLines) {
  EXPECT_EQ(walk_checks::bad_line("v 1.000000 -0.000000 1.#INF00\nvt 0.5 1.000000\n"),
            "vt 0.5 1.000000");
  EXPECT_EQ(walk_checks::bad_line("f 1/1/1 2/2/2 3/3/3\nf 1/1/1 2/2/3 3/3/3\n"),
            "f 1/1/1 2/2/3 3/3/3");
  EXPECT_EQ(walk_checks::bad_line("vn 0.000000 0.000000 -1.#IND00\nv 1.000000"), "v 1.000000");
  EXPECT_EQ(walk_checks::bad_line("v 01.000000 0.000000 0.000000\n"),
            "v 01.000000 0.000000 0.000000");
}

}  // namespace
