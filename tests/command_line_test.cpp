#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "front/front.h"

namespace {

// Options as typed: grouped, with their values attached or apart.
TEST(CommandLineOptions, ReadAsTyped) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const struct {
    std::vector<std::string> args;
    bool recursive;
    int quiet;
    bool objects;
    unsigned jobs;
    std::string output, output_dir;  // "" when not given
    std::vector<std::string> paths;
  } cases[] = {
      {{"a"}, false, 0, false, cores, "", "", {"a"}},
      {{"-rq", "-j3", "a", "b"}, true, 1, false, 3, "", "", {"a", "b"}},
      {{"-qrq", "--quiet", "a"}, true, 3, false, cores, "", "", {"a"}},
      {{"--jobs", "2", "--objects", "--", "-x"}, false, 0, true, 2, "", "", {"-x"}},
      {{"-dout", "-j", "4", "b"}, false, 0, false, 4, "", "out", {"b"}},
      {{"--output=x.obj", "--recursive", "c"}, true, 0, false, cores, "x.obj", "", {"c"}},
      {{"-qo", "-", "-"}, false, 1, false, cores, "-", "", {"-"}},
      {{"--output-dir", "o", "--quiet", "d"}, false, 1, false, cores, "", "o", {"d"}},
  };
  for (const auto& c : cases) {
    BatchOptions options;
    std::vector<std::string> paths;
    std::ostringstream out, err;
    ExitStatus status;
    ASSERT_TRUE(parse_command_line(c.args, out, err, &options, &paths, &status)) << err.str();
    EXPECT_EQ(options.recursive, c.recursive) << c.args[0];
    EXPECT_EQ(options.quiet, c.quiet) << c.args[0];
    EXPECT_EQ(options.style.objects, c.objects) << c.args[0];
    EXPECT_EQ(options.jobs, c.jobs) << c.args[0];
    EXPECT_EQ(options.output.value_or(""), c.output) << c.args[0];
    EXPECT_EQ(options.output_dir.value_or(""), c.output_dir) << c.args[0];
    EXPECT_EQ(paths, c.paths);
  }
}

}  // namespace
