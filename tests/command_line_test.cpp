#include <gtest/gtest.h>

#include <cerrno>
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
    Settings options;
    std::vector<std::string> paths;
    std::ostringstream out, err;
    ExitStatus status;
    ASSERT_TRUE(parse_command_line(c.args, out, err, &options, &paths, &status)) << err.str();
    EXPECT_EQ(options.recursive, c.recursive) << c.args[0];
    EXPECT_EQ(options.quiet, c.quiet) << c.args[0];
    EXPECT_EQ(options.objects, c.objects) << c.args[0];
    EXPECT_EQ(options.jobs, c.jobs) << c.args[0];
    EXPECT_EQ(options.output.value_or(""), c.output) << c.args[0];
    EXPECT_EQ(options.output_dir.value_or(""), c.output_dir) << c.args[0];
    EXPECT_EQ(paths, c.paths);
  }
}

// Every usage error: status 2, its reason and the usage line, nothing run.
TEST(CommandLineOptions, UsageErrors) {
  const std::string usage = "usage: mdx2obj [OPTIONS] PATH... (mdx2obj --help tells more)\n";
  const std::string scale = "--scale takes " + std::string(kScaleRange) + ", not ";
  const struct {
    std::vector<std::string> args;
    std::string why;
  } cases[] = {
      {{}, "no model given"},
      {{"--frob", "m"}, "unknown option --frob"},
      {{"-rx", "m"}, "unknown option -x"},
      {{"--=x", "m"}, "unknown option --=x"},
      {{"m", "-o"}, "-o needs a file name"},
      {{"-o", "", "m"}, "-o needs a file name"},
      {{"-o", "x", "-o", "y", "m"}, "-o is given twice"},
      {{"-d", "", "m"}, "-d needs a folder name"},
      {{"--output-dir="}, "--output-dir needs a folder name"},
      {{"--files-from="}, "--files-from needs a file"},
      {{"--jobs=x", "m"}, "--jobs takes a number of jobs from 1 to 1024, not x"},
      {{"-j"}, "-j needs a number of jobs"},
      {{"-j", "0", "m"}, "-j takes a number of jobs from 1 to 1024, not 0"},
      {{"-j2x", "m"}, "-j takes a number of jobs from 1 to 1024, not 2x"},
      {{"-j", "1025", "m"}, "-j takes a number of jobs from 1 to 1024, not 1025"},
      {{"--up", "x", "m"}, "--up takes y or z, not x"},
      {{"--up=", "m"}, "--up takes y or z, not "},
      {{"m", "--scale"}, "--scale needs a number"},
      // A switch is there or not: a value of it means nothing.
      {{"--objects=no", "m"}, "--objects takes no value, not no"},
      {{"--update=false", "m"}, "--update takes no value, not false"},
      {{"--recursive=yes", "m"}, "--recursive takes no value, not yes"},
      {{"--quiet=", "m"}, "--quiet takes no value, not "},
      {{"--help=me"}, "--help takes no value, not me"},
      {{"-0", "m"}, "-0 goes with --files-from"},
      {{"-n", "m"}, "-n goes with -u"},
      {{"-u", "-n", "-o", "-", "m"},
       "-n and -o - do not go together: standard output keeps no ledger"},
      {{"--json", "-o", "-", "m"}, "--json and -o - do not go together: both take standard output"},
      {{"-o", "x", "-d", "y", "m"}, "-o and -d do not go together"},
      {{"--shard", "0/2", "m"}, "--shard takes K/N with 1 <= K <= N, not 0/2"},
      {{"--shard=3/2", "m"}, "--shard takes K/N with 1 <= K <= N, not 3/2"},
      {{"--shard", "1/-2", "m"}, "--shard takes K/N with 1 <= K <= N, not 1/-2"},
  };
  for (const auto& c : cases) {
    Settings options;
    std::vector<std::string> paths;
    std::ostringstream out, err;
    ExitStatus status = kExitSuccess;
    EXPECT_FALSE(parse_command_line(c.args, out, err, &options, &paths, &status)) << c.why;
    EXPECT_EQ(status, kExitUsage) << c.why;
    EXPECT_EQ(err.str(), "mdx2obj: " + c.why + "\n" + usage);
    EXPECT_EQ(out.str(), "");
  }
  // A scale is a decimal number read whole, from the smallest normal float
  // to the largest: no position becomes 0 or an infinity by the scale alone.
  for (const char* bad : {"0", "-1", "-0.5", "nan", "inf", "1e999", "1e-400", "2x", "", "0x1p3",
                          " 1", "1,5", "1e300", "1e-50", "3.41e38", "1.17e-38"}) {
    Settings options;
    std::vector<std::string> paths;
    std::ostringstream out, err;
    ExitStatus status = kExitSuccess;
    EXPECT_FALSE(parse_command_line({"--scale", bad, "m"}, out, err, &options, &paths, &status));
    EXPECT_EQ(err.str(), "mdx2obj: " + scale + bad + "\n" + usage);
  }
  // What an earlier call left in errno is no verdict on this number.
  double taken = 0;
  errno = ERANGE;
  EXPECT_TRUE(read_scale("0.5", &taken));
  // The smallest normal float itself is in the range.
  for (const char* good : {"1.2e-38", "3.4e38", "1.1754944e-38", "1.1754943508222875e-38", "0.01",
                           ".5", "+2", "2.54e-2"}) {
    Settings options;
    std::vector<std::string> paths;
    std::ostringstream out, err;
    ExitStatus status = kExitSuccess;
    EXPECT_TRUE(parse_command_line({"--scale", good, "m"}, out, err, &options, &paths, &status))
        << good << err.str();
  }
}

}  // namespace
