#include <gtest/gtest.h>

#include <thread>

#include "batch/run.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "front/front.h"
#include "test_util.h"

namespace {

TEST(BatchStatus, LinesAsTheTerminalShowsThem) {
  const struct {
    std::size_t done, total;
    std::uint64_t read, bytes;
    double seconds;
    std::string current;
    int columns;
    std::string line;
  } cases[] = {
      {37, 1200, 12000000, 100000000, 2, "units/footman.mdx", 80,
       "[  37/1200]  12%   6 MB/s  units/footman.mdx"},
      {0, 3, 0, 0, 0, "a.mdx", 80, "[0/3] 100%   0 MB/s  a.mdx"},
      {9, 10, 5000000000, 50, 1, "a.mdx", 80, "[ 9/10] 100% 5000 MB/s  a.mdx"},
      // Shortened in the middle to the cells left before the last column.
      {1, 2, 1, 2, 1, "deep/mod\u00e8le.mdx", 32, "[1/2]  50%   0 MB/s  de...e.mdx"},
      {1, 2, 1, 2, 1, "a.mdx", 9, "[1/2]  5"},
      {1, 2, 1, 2, 1, "a.mdx", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(status_text(c.done, c.total, c.read, c.bytes, c.seconds, c.current, c.columns),
              c.line);
  }
  EXPECT_EQ(finding_text(12345, 80), "finding models: 12,345");
  EXPECT_EQ(finding_text(0, 11), "finding mo");
}

// Names as a terminal draws them: a cell for most characters, none for a
// combining mark, two for wide and ambiguous ones (as CJK terminals draw
// them), "?" for what is no character to show.
TEST(BatchStatus, NamesInTerminalCells) {
  const struct {
    std::string text;
    std::size_t cells;
    std::string fit10;  // shortened to 10 cells
  } cases[] = {
      {"unit.mdx", 8, "unit.mdx"},
      {"units/footman.mdx", 17, "un...n.mdx"},
      {"mode\u0301le.mdx", 10, "mode\u0301le.mdx"},  // e and a combining acute
      {"mod\u00e8le.mdx", 11, "mo...e.mdx"},         // an ambiguous \u00e8
      {"\u6a21\u578b/\u5355\u4f4d.mdx", 13, "\u6a21....mdx"},
      {"\uff46\uff55\uff4c\uff4c.mdx", 12, "\uff46....mdx"},
      {"\U0001F600.mdx", 6, "\U0001F600.mdx"},
      {"a\u0300\u036fb\u1100\u115f\u1160", 6,
       "a\u0300\u036fb\u1100\u115f\u1160"},  // ends of ranges
      // The first characters of three and four bytes, the last of all.
      {"\xe0\xa0\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbd", 4,
       "\xe0\xa0\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbd"},
      {"bad\xff.mdx", 8, "bad?.mdx"},
      {"a\nb\rc\x1b[2J", 9, "a?b?c?[2J"},
      {"a b\x7f", 4, "a b?"},
      {"\xe6\xa8", 2, "??"},                 // a character cut short
      {"\xc0\xaf\xed\xa0\x80", 5, "?????"},  // an overlong form, a surrogate
      {"\xc2\x9b", 1, "?"},                  // a C1 control
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text_cells(c.text), c.cells) << c.text;
    EXPECT_EQ(fit_cells(c.text, 10), c.fit10) << c.text;
    EXPECT_LE(text_cells(fit_cells(c.text, 10)), 10u) << c.text;
  }
  EXPECT_EQ(fit_cells("units/footman.mdx", 9), "un....mdx");
  EXPECT_EQ(fit_cells("abcd\u6a21e", 6), "a...e");  // the wide one does not fit the tail
  EXPECT_EQ(fit_cells("abcdef", 3), "...");
  EXPECT_EQ(fit_cells("abcdef", 2), "..");
  const struct {
    Tally tally;
    double seconds;
    std::string line;
  } tallies[] = {
      {{1195, 5, 0, 310400000},
       4.06,
       "1,200 models: 1,195 converted, 5 failed (4.1 s, 310 MB of OBJ)"},
      {{2, 0, 0, 9999}, 0, "2 models: 2 converted (0.0 s, 9999 bytes of OBJ)"},
      {{2, 0, 0, 10000}, 0, "2 models: 2 converted (0.0 s, 10 kB of OBJ)"},
      {{2, 0, 0, 1000000}, 0, "2 models: 2 converted (0.0 s, 1.0 MB of OBJ)"},
      {{0, 2, 0, 12345}, 0, "2 models: 0 converted, 2 failed (0.0 s, 12 kB of OBJ)"},
      {{1, 0, 0, 4560000}, 0, "1 model: 1 converted (0.0 s, 4.6 MB of OBJ)"},
      {{999, 1, 1000, 0},
       0,
       "2,000 models: 999 converted, 1 failed, 1,000 not started (0.0 s, 0 bytes of OBJ)"},
      {{0, 0, 100, 0}, 0, "100 models: 0 converted, 100 not started (0.0 s, 0 bytes of OBJ)"},
      {{1000000, 0, 0, 0}, 0, "1,000,000 models: 1,000,000 converted (0.0 s, 0 bytes of OBJ)"},
  };
  for (const auto& c : tallies) EXPECT_EQ(tally_line(c.tally, c.seconds), c.line);
}

// Runs of the command line in a scratch tree, from inside it, as a user names
// the paths.
struct TreeFixture : ::testing::Test {
  TempDir dir;
  std::filesystem::path before = std::filesystem::current_path();
  std::string model = build_model({make_geoset(3, 1)});
  // The size of one model's OBJ file.
  std::string obj_size = std::to_string(text_file(expected_obj({make_geoset(3, 1)})).size());

  void SetUp() override {
    std::filesystem::current_path(dir.path);
    for (const char* folder : {"art/units", "art/deep", "art/empty", "x", "y"}) {
      std::filesystem::create_directories(folder);
    }
    for (const char* name : {"art/units/a.mdx", "art/units/B.MDX", "art/deep/c.mdx", "x/unit.mdx",
                             "y/unit.mdx", "m", "m.obj"}) {
      write_file(name, model);
    }
    write_file("art/notes.txt", "not a model");
    write_file("art/units/readme", "not a model either");
    std::error_code ec;  // where the file system lets the test make links
    std::filesystem::create_directory_symlink("..", "art/units/loop", ec);
    std::filesystem::create_symlink("units/a.mdx", "art/link.mdx", ec);
  }
  void TearDown() override { std::filesystem::current_path(before); }
};

// A terminal 200 cells wide.
int kWide() { return 200; }

std::string summary(const std::string& model, const std::string& obj) {
  return model + " -> " + obj + ": 1 geoset, 3 vertices, 1 triangle\n";
}

TEST_F(TreeFixture, CollectionRules) {
  const bool links = file_exists("art/link.mdx");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string diag;
  } cases[] = {
      {{"art"}, kExitFailure, "mdx2obj: art: is a folder (-r converts the models in it)\n"},
      {{"-r", "art/empty"}, kExitFailure, "mdx2obj: " + made("art/empty") + ": no models found\n"},
      {{"-j1", "-rdout", "art"},
       kExitSuccess,
       summary(made("art/deep/c.mdx"), made("out/deep/c.obj")) +
           (links ? summary(made("art/link.mdx"), made("out/link.obj")) : "") +
           summary(made("art/units/B.MDX"), made("out/units/B.obj")) +
           summary(made("art/units/a.mdx"), made("out/units/a.obj")) +
           (links ? "4 models: 4 converted" : "3 models: 3 converted") + " (T s, " +
           std::to_string(std::stoi(obj_size) * (links ? 4 : 3)) + " bytes of OBJ)\n"},
      {{"--output-dir=out", "x/unit.mdx", "y/unit.mdx"},
       kExitFailure,
       summary(made("x/unit.mdx"), made("out/unit.obj")) + "mdx2obj: " + made("y/unit.mdx") +
           ": not converted: its OBJ " + made("out/unit.obj") + " is also that of " +
           made("x/unit.mdx") +
           "\n"
           "2 models: 1 converted, 1 failed (T s, " +
           obj_size + " bytes of OBJ)\n"},
      // -q keeps the failures and the tally, -qq the failures alone.
      {{"-q", "m", "m.obj"},
       kExitFailure,
       "mdx2obj: m: not converted: its OBJ m.obj is one of the models\n"
       "mdx2obj: m.obj: is the model file itself; refusing to overwrite it\n"
       "2 models: 0 converted, 2 failed (T s, 0 bytes of OBJ)\n"},
      {{"-qq", "-r", "art/units", "art/empty", "none.mdx"},
       kExitFailure,
       "mdx2obj: " + made("art/empty") +
           ": no models found\n"
           "mdx2obj: none.mdx: cannot open: No such file or directory\n"},
      // A folder without models is a failure, but no model.
      {{"-q", "-r", "art/units", "art/empty"},
       kExitFailure,
       "mdx2obj: " + made("art/empty") +
           ": no models found\n"
           "2 models: 2 converted (T s, " +
           std::to_string(2 * std::stoi(obj_size)) + " bytes of OBJ)\n"},
      {{"-d", "out", "-o", "x.obj", "m"}, kExitUsage, "mdx2obj: -o and -d do not go together\n"},
      // A -d folder that cannot be made: the first model fails with its
      // reason, the others are not started.
      {{"-d", "m", "x/unit.mdx", "art/units/a.mdx"},
       kExitFailure,
       "mdx2obj: " + made("m/unit.obj") +
           ": cannot create the output folder: it is a file\n"
           "2 models: 0 converted, 1 failed, 1 not started (T s, 0 bytes of OBJ)\n"},
      {{"-r", "-o", "x.obj", "art"}, kExitUsage, "mdx2obj: -o takes exactly one model\n"},
      // One model, but found in a folder: -o names one model's OBJ.
      {{"-r", "-o", "x.obj", "x"}, kExitUsage, "mdx2obj: -o takes exactly one model\n"},
      {{"-j", "0", "m"}, kExitUsage, "mdx2obj: -j takes a number of jobs from 1 to 1024, not 0\n"},
      {{"-j2x", "m"}, kExitUsage, "mdx2obj: -j takes a number of jobs from 1 to 1024, not 2x\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(c.args, out, err), c.status) << c.diag;
    std::string diag = lines_of(err.str());
    if (c.status == kExitUsage) diag = diag.substr(0, diag.find('\n') + 1);
    EXPECT_EQ(diag, c.diag);
  }
  EXPECT_EQ(read_file("out/units/B.obj"), text_file(expected_obj({make_geoset(3, 1)})));
  EXPECT_FALSE(file_exists("out/units/loop"));
  // A folder dropped onto the program can only mean its models.
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"x"}, out, err, nullptr, true), kExitSuccess) << err.str();
  EXPECT_EQ(err.str(), summary(made("x/unit.mdx"), made("x/unit.obj")));
}

// A model named twice converts once, under its first name, where its OBJ is
// the same file; what cannot be used under a folder is told; an OBJ name that
// leads to a model is refused, however it is spelt.
TEST_F(TreeFixture, EveryModelOnce) {
  std::error_code ec;
  std::filesystem::create_symlink("nowhere.mdx", "art/deep/gone.mdx", ec);
  const bool links = !ec;
  write_file("p.mdx", model);
  write_file("q.mdx", model);
  if (links) std::filesystem::create_symlink("q.mdx", "p.obj", ec);
  // Two OBJ names that lead to one file.
  write_file("r.mdx", model);
  write_file("s.mdx", model);
  write_file("shared.obj", "old\n");
  if (links) std::filesystem::create_symlink("shared.obj", "r.obj", ec);
  if (links) std::filesystem::create_symlink("shared.obj", "s.obj", ec);
  std::string gone;  // what the walk finds and cannot use, where links can be made
  if (links) {
    std::filesystem::create_symlink("self.mdx", "art/deep/self.mdx", ec);
#ifndef _WIN32
    mkfifo("art/deep/pipe.mdx", 0644);
#endif
    gone = "mdx2obj: " + made("art/deep/gone.mdx") +
           ": cannot open: it is a link to a file that does not exist\n"
           "mdx2obj: " +
           made("art/deep/pipe.mdx") +
           ": cannot open: not a regular file\n"
           "mdx2obj: " +
           made("art/deep/self.mdx") + ": cannot open: " + reason(ELOOP) + "\n";
  }
  const int unusable = links ? 3 : 0;
  auto tally = [&](int converted, int failed) {
    return std::to_string(converted + failed) + " models: " + std::to_string(converted) +
           " converted" + (failed ? ", " + std::to_string(failed) + " failed" : "") + " (T s, " +
           std::to_string(std::stoi(obj_size) * converted) + " bytes of OBJ)\n";
  };
  const struct {
    std::vector<std::string> args;
    std::string diag;
  } cases[] = {
      {{"-j2", "-r", "art/units", "art/", "./art/units/a.mdx"},
       summary(made("art/units/B.MDX"), made("art/units/B.obj")) +
           summary(made("art/units/a.mdx"), made("art/units/a.obj")) +
           summary(made("art/deep/c.mdx"), made("art/deep/c.obj")) + gone +
           (links ? summary(made("art/link.mdx"), made("art/link.obj")) : "") +
           tally(links ? 4 : 3, unusable)},
      // Under -d each PATH mirrors its own tree: both OBJ files are made.
      {{"-r", "-d", "out", "art/units", "art"},
       summary(made("art/units/B.MDX"), made("out/B.obj")) +
           summary(made("art/units/a.mdx"), made("out/a.obj")) +
           summary(made("art/deep/c.mdx"), made("out/deep/c.obj")) + gone +
           (links ? summary(made("art/link.mdx"), made("out/link.obj")) : "") +
           summary(made("art/units/B.MDX"), made("out/units/B.obj")) +
           summary(made("art/units/a.mdx"), made("out/units/a.obj")) +
           tally(links ? 6 : 5, unusable)},
      {{"r.mdx", "s.mdx"},
       summary("r.mdx", "r.obj") +
           (links ? "mdx2obj: s.mdx: not converted: its OBJ s.obj is also that of r.mdx\n"
                  : summary("s.mdx", "s.obj")) +
           tally(links ? 1 : 2, links)},
      {{"p.mdx", "q.mdx"},
       (links ? "mdx2obj: p.mdx: not converted: its OBJ p.obj is one of the models\n"
              : summary("p.mdx", "p.obj")) +
           summary("q.mdx", "q.obj") + tally(links ? 1 : 2, links)},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(c.args, out, err), links ? kExitFailure : kExitSuccess);
    EXPECT_EQ(lines_of(err.str()), c.diag);
  }
  EXPECT_EQ(read_file("q.mdx"), model);
  // An OBJ name that is another model's name, whether that model is there or
  // not; an OBJ that is the model itself (a hard link), also where another
  // name of the same model is in the run; a name that loops says why.
  write_file("n.mdx", model);
  write_file("h.mdx", model);
  std::filesystem::create_hard_link("h.mdx", "h.obj", ec);
  const bool hard = !ec;
  std::filesystem::create_symlink("h.mdx", "g.mdx", ec);
  std::filesystem::create_symlink("loop.mdx", "loop.mdx", ec);
  const struct {
    std::vector<std::string> args;
    std::string diag;
  } refused[] = {
      {{"-q", "n.mdx", "n.obj"},
       "mdx2obj: n.mdx: not converted: its OBJ n.obj is one of the models\n"
       "mdx2obj: n.obj: cannot open: " +
           reason(ENOENT) + "\n" + tally(0, 2)},
      {{"-q", "h.mdx", "g.mdx"},
       "mdx2obj: h.obj: is the model file itself; refusing to overwrite it\n" + tally(1, 1)},
      {{"-q", "loop.mdx"}, "mdx2obj: loop.mdx: cannot open: " + reason(ELOOP) + "\n"},
      // Two models of one OBJ name that is there already: the later one
      // would replace the earlier one's OBJ.
      {{"-q", "k.mdx", "k.MDX"},
       "mdx2obj: k.MDX: not converted: its OBJ k.obj is also that of k.mdx\n" + tally(1, 1)},
  };
  write_file("k.mdx", model);
  write_file("k.MDX", build_model({make_geoset(4, 2)}));
  write_file("k.obj", "old\n");
  for (const auto& c : refused) {
    // Where letter case makes no other name, k.MDX is k.mdx.
    if (!links || !hard || kNamesIgnoreCase) break;
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(c.args, out, err), kExitFailure) << c.diag;
    EXPECT_EQ(lines_of(err.str()), c.diag);
  }
  EXPECT_EQ(read_file("h.mdx"), model);
  EXPECT_FALSE(file_exists("n.obj"));
  if (!kNamesIgnoreCase) {
    EXPECT_EQ(read_file("k.obj"), text_file(expected_obj({make_geoset(3, 1)})));
  }
  // A link that leads nowhere says so, named itself as found in a tree.
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"art/deep/gone.mdx"}, out, err), kExitFailure);
  EXPECT_EQ(err.str(), "mdx2obj: " + made("art/deep/gone.mdx") + ": cannot open: " +
                           (links ? "it is a link to a file that does not exist" : reason(ENOENT)) +
                           "\n");
}

// A tree deeper than the 260 characters that Windows' plain calls take
// converts in full, beside itself and under -d.
TEST_F(TreeFixture, DeepTreesConvertInFull) {
  std::filesystem::path deep = "deep";
  for (int i = 0; i < 12; ++i) deep /= "folder_with_a_long_name_" + std::to_string(i);
  deep = std::filesystem::absolute(deep);
  ASSERT_GT(deep.native().size(), 350u);
  std::filesystem::create_directories(long_path(deep));
  write_file(long_path(deep / "unit.mdx"), model);
  const std::filesystem::path relative = std::filesystem::relative(deep, "deep");
  for (const auto& args : {std::vector<std::string>{"-q", "-r", "deep"},
                           std::vector<std::string>{"-q", "-r", "-d", "out", "deep"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(args, out, err), kExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
  }
  const std::string obj = text_file(expected_obj({make_geoset(3, 1)}));
  EXPECT_EQ(read_file(long_path(deep / "unit.obj")), obj);
  EXPECT_EQ(read_file(long_path(std::filesystem::absolute("out") / relative / "unit.obj")), obj);
}

#ifndef _WIN32
// A full and then a read-only output file system (a small tmpfs of the test's
// own, gone with its mount namespace even if the test is killed): the fault is
// told once, the models that were not reached are counted as not started, and
// no OBJ is left in part.
TEST_F(TreeFixture, OutputFileSystemFaultsToldOnce) {
  if (geteuid() != 0 || std::system("unshare -m true 2> /dev/null") != 0) {
    GTEST_SKIP() << "needs root to mount a file system of its own";
  }
  std::filesystem::create_directories("many");
  const GeosetData unit = make_geoset(300, 300);  // about 34 kB of OBJ
  for (int i = 10; i < 40; ++i)
    write_file("many/m" + std::to_string(i) + ".mdx", build_model({unit}));
  write_file("expected.obj", expected_obj({unit}));
  std::filesystem::create_directory("full");
  const std::string program = MDX2OBJ_PATH;
  write_file(
      "faults.sh",
      "mount -t tmpfs -o size=128k tmpfs full || exit 1\n"
      "'" +
          program +
          "' -r -d full/out many 2> full.txt; echo $? > full.status\n"
          "mount -o remount,ro full || exit 1\n"
          "'" +
          program +
          "' -j1 -r -d full/out many 2> ro.txt; echo $? > ro.status\n"
          "find full -name '*.tmp' > left.txt\n"
          "for f in full/out/*.obj; do cmp -s $f expected.obj || echo $f; done > broken.txt\n");
  ASSERT_EQ(run_in(dir.path.string(), "unshare", "-m sh faults.sh"), 0);
  const std::string full = lines_of(read_file("full.txt"));
  EXPECT_EQ(read_file("full.status"), "1\n");
  std::size_t told = 0;
  for (std::size_t at = 0; (at = full.find("No space left on device", at)) != std::string::npos;
       ++at) {
    ++told;
  }
  EXPECT_EQ(told, 1u) << full;
  const std::string tally = full.substr(full.rfind("30 models: "));
  const int converted = std::stoi(tally.substr(11));
  EXPECT_GT(converted, 0);
  EXPECT_EQ(tally.substr(0, tally.find(" (")), "30 models: " + std::to_string(converted) +
                                                   " converted, 1 failed, " +
                                                   std::to_string(29 - converted) + " not started");
  EXPECT_EQ(read_file("ro.status"), "1\n");
  EXPECT_EQ(lines_of(read_file("ro.txt")),
            "mdx2obj: full/out/m10.obj: cannot create: Read-only file system\n"
            "30 models: 0 converted, 1 failed, 29 not started (T s, 0 bytes of OBJ)\n");
  EXPECT_EQ(read_file("left.txt"), "");
  EXPECT_EQ(read_file("broken.txt"), "");
}

// A reader of standard output that leaves: one model to it ends as cat does,
// without a word, by SIGPIPE; in a run of several, a model under way fails
// as "output closed" and the rest are not started, and nothing says the run
// was interrupted.
TEST_F(TreeFixture, ReaderThatLeaves) {
  std::filesystem::create_directory("big");
  for (int i = 0; i < 8; ++i) {
    write_file("big/m" + std::to_string(i) + ".mdx",
               build_model({make_geoset(40000, 40000, float(i))}));
  }
  const std::string program = std::string("'") + MDX2OBJ_PATH + "'";
  write_file("leaves.sh", program +
                              " -q -o - big/m0.mdx 2> one.txt | head -c 10 > /dev/null\n"
                              "echo ${PIPESTATUS[0]} > one.status\n" +
                              program +
                              " --json -r -j1 -d out big 2> many.txt | head -c 10 > /dev/null\n"
                              "echo ${PIPESTATUS[0]} > many.status\n");
  ASSERT_EQ(run_in(dir.path.string(), "bash", "leaves.sh"), 0);
  EXPECT_EQ(read_file("one.status"), "141\n");
  EXPECT_EQ(read_file("one.txt"), "");
  EXPECT_EQ(read_file("many.status"), "141\n");
  std::istringstream lines(lines_of(read_file("many.txt")));
  std::string line, tally;
  while (std::getline(lines, line)) {
    if (line.rfind("mdx2obj: ", 0) == 0) {
      // The model under way, by its name.
      EXPECT_EQ(line.rfind("mdx2obj: " + made("big/m"), 0), 0u) << line;
      EXPECT_EQ(line.substr(line.size() - 15), ": output closed") << line;
    } else if (line.find(" -> ") == std::string::npos) {
      tally = line;
    }
  }
  EXPECT_EQ(tally.rfind("8 models: ", 0), 0u) << tally;
  EXPECT_NE(tally.find(" not started ("), std::string::npos) << tally;
}

bool temporary_file_in(const std::string& folder, std::size_t* count = nullptr) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    n += entry.path().extension() == ".tmp";
  }
  if (count) *count = n;
  return n > 0;
}

// A real Ctrl-C (SIGINT) and a SIGKILL in the middle of a run of large models:
// after either, every OBJ is the earlier one or whole; the interrupted run
// removes its temporary file, tallies and ends by its signal, so that a shell
// sees 130; the next run removes what the killed one left, even where it
// finds every OBJ up to date.
TEST_F(TreeFixture, InterruptedRunsLeaveWholeFiles) {
  std::filesystem::create_directory("big");
  std::vector<std::string> expected;
  for (int i = 0; i < 6; ++i) {
    const std::vector<GeosetData> geosets = {make_geoset(60000, 60000, float(i)),
                                             make_geoset(60000, 60000, float(i + 1))};
    write_file("big/m" + std::to_string(i) + ".mdx", build_model(geosets));
    write_file("big/m" + std::to_string(i) + ".obj", "old\n");
    expected.push_back(expected_obj(geosets));
  }
  for (int signal : {SIGINT, 0, SIGKILL}) {
    if (signal == 0) {  // every OBJ up to date before a run killed while it writes one again
      EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-qq -r big"), 0);
      continue;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      const int err = open("err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, 2);
      execl(MDX2OBJ_PATH, "mdx2obj", "-j1", "-r", "big", static_cast<char*>(nullptr));
      _exit(127);
    }
    bool under_way = false;  // a model is being written
    for (int i = 0; i < 20000 && !under_way; ++i) {
      under_way = temporary_file_in("big");
      if (!under_way) usleep(500);
    }
    kill(pid, signal);
    // A run that does not end within seconds fails, and is ended: no test
    // leaves a process behind.
    int raw = 0;
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
      ended = waitpid(pid, &raw, WNOHANG) == pid;
      if (!ended) usleep(10000);
    }
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &raw, 0);
    }
    EXPECT_TRUE(ended) << "the run went on after signal " << signal;
    ASSERT_TRUE(under_way);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << raw;
    std::size_t left = 0;
    temporary_file_in("big", &left);
    EXPECT_EQ(left, signal == SIGKILL ? 1u : 0u);
    if (signal == SIGINT) {
      const std::string err = read_file("err.txt");
      EXPECT_NE(err.find(" not started ("), std::string::npos) << err;
      EXPECT_EQ(err.substr(err.rfind('\n', err.size() - 2) + 1), "mdx2obj: interrupted\n");
    }
    for (int i = 0; i < 6; ++i) {
      const std::string obj = read_file("big/m" + std::to_string(i) + ".obj");
      EXPECT_TRUE(obj == "old\n" || obj == expected[i]) << i << " holds " << obj.size() << " bytes";
    }
  }
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-q -u -r big"), 0);
  EXPECT_FALSE(temporary_file_in("big"));
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(read_file("big/m" + std::to_string(i) + ".obj") == expected[i]) << i;
  }
}
#endif

}  // namespace

// The status line, with two jobs, rewritten as often as the run lets it and
// once a millisecond: it names a model being converted, never one whose line
// is out, its share never falls, it is gone before the last lines, and it is
// drawn again at once after the lines printed above it, and otherwise at most
// once an interval.
TEST_F(TreeFixture, StatusLineFollowsTheRun) {
  std::filesystem::create_directory("big");
  for (int i = 10; i < 22; ++i) {  // the last model the largest: one job waits idle
    write_file("big/m" + std::to_string(i) + ".mdx",
               build_model({make_geoset(i == 21 ? 60000 : 20000, 20000, float(i))}));
  }
  for (int every : {0, 1, 1000}) {
    Settings options;
    options.recursive = true;
    options.jobs = 2;
    options.status_every = std::chrono::milliseconds(every);
    JobList items = collect_models({"big"}, options);
    name_obj_files(&items, options);
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run_batch(items, options, out, err, kWide), kExitSuccess);
    const auto took = std::chrono::steady_clock::now() - start;
    std::vector<std::string> printed;
    const std::string text = err.str();
    int named = 0, share = 0, drawn = 0, unfollowed = 0;
    bool after_line = false;  // a line was printed and the status line is not back yet
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find_first_of("\r\n", at), text.size());
      std::string part = text.substr(at, end - at);
      if (part.find_first_not_of(' ') == std::string::npos) {  // the status line taken off
        unfollowed += after_line && !part.empty();
        continue;
      }
      if (part[0] != '[') {
        after_line = true;
        printed.push_back(part.substr(0, part.find(" -> ")));
        continue;
      }
      after_line = false;
      ++drawn;
      int percent = std::stoi(part.substr(part.find(']') + 1));
      EXPECT_GE(percent, share) << part;
      share = percent;
      std::string model = part.substr(part.find("MB/s  ") + 6);
      named += !model.empty();
      EXPECT_EQ(std::count(printed.begin(), printed.end(), model), 0) << part;
    }
    EXPECT_EQ(printed.size(), 13u);  // and the tally
    EXPECT_GT(named, 1);
    const std::string tail = text.substr(text.rfind('\r') + 1);
    EXPECT_EQ(tail.find('['), std::string::npos) << tail;
    // Back at once after the lines printed together, but for the last ones;
    // else at most once an interval.
    EXPECT_EQ(unfollowed, 0) << text;
    if (every > 0) {
      EXPECT_LE(drawn, std::chrono::duration_cast<std::chrono::milliseconds>(took).count() +
                           static_cast<long>(printed.size()) + 2);
    }
  }
  // A single large model shows its own share. It converts in a few
  // milliseconds, which a busy machine may give wholly to the converting
  // threads: a share that never follows the model fails every try.
  Settings options;
  options.status_every = std::chrono::milliseconds(0);
  JobList items = collect_models({"big/m21.mdx"}, options);
  name_obj_files(&items, options);
  bool between = false;  // a share of 10% to 99% while the model is read
  std::string text;
  for (int attempt = 0; attempt < 20 && !between; ++attempt) {
    std::ostringstream out, err;
    EXPECT_EQ(run_batch(items, options, out, err, kWide), kExitSuccess);
    text = err.str();
    for (char tens = '1'; tens <= '9'; ++tens) {
      between = between || text.find(std::string("[0/1]  ") + tens) != std::string::npos;
    }
  }
  EXPECT_TRUE(between) << text.substr(0, 200);
}

// The built program on a tree whose models take different times: the lines
// and OBJ files of four jobs are those of one.
TEST_F(TreeFixture, JobsWriteWhatOneJobWrites) {
  for (int i = 0; i < 12; ++i) {
    write_file("art/m" + std::to_string(i) + ".mdx",
               build_model({make_geoset(3 + (11 - i) * 500, 1 + (11 - i) * 900, float(i))}));
  }
  write_file("art/cut.mdx", model.substr(0, model.find("PVTX") + 6));
  std::string runs[2];
  for (int jobs : {1, 4}) {
    std::filesystem::remove_all("out");
    EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH,
                     "-r -j " + std::to_string(jobs) + " -d out art x y 2> err.txt"),
              1);
    std::string& run = runs[jobs == 4];
    run = lines_of(read_file("err.txt"));
    // In name order: a folder lists its files in an order of its own (on a
    // tmpfs, that of their creation).
    std::vector<std::string> objs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("out")) {
      if (entry.path().extension() == ".obj") objs.push_back(entry.path().string());
    }
    std::sort(objs.begin(), objs.end());
    for (const std::string& obj : objs) run += obj + "\n" + read_file(obj);
  }
  // Told by where they part: a diff of two such texts would take minutes.
  const auto parted = std::mismatch(runs[0].begin(), runs[0].end(), runs[1].begin(), runs[1].end());
  EXPECT_TRUE(runs[0] == runs[1]) << "they part at byte " << parted.first - runs[0].begin() << ": "
                                  << std::string(parted.first, runs[0].end()).substr(0, 200);
  EXPECT_NE(runs[0].find("mdx2obj: " + made("art/cut.mdx") + ": file ends inside"),
            std::string::npos);
}

#ifndef _WIN32
// The status line on a real terminal 20 columns wide (tmux's), over names of
// wide, combining and ambiguous characters: when the run ends, the screen
// holds its lines and nothing else, no fragment of a status line and no blank
// line. A pipe never gets it, nor does a terminal with -qq.
TEST_F(TreeFixture, StatusLineLeavesNothingBehind) {
  if (std::system("tmux -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "needs tmux";
  const std::string folder = "wide/\u6a21\u578b/mod\u00e8le";
  std::filesystem::create_directories(std::filesystem::u8path(folder));
  for (int i = 0; i < 30; ++i) {
    for (const char* name : {"/\u5355\u4f4d", "/mode\u0301le", "/\uff46\uff55\uff4c\uff4c"}) {
      write_file(std::filesystem::u8path(folder + name + std::to_string(i) + ".mdx"), model);
    }
  }
  const std::string command = std::string(MDX2OBJ_PATH) + " -j2 -r wide";
  ASSERT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-j2 -r wide 2> lines.txt"), 0);
  std::vector<std::string> expected;
  std::istringstream lines(lines_of(read_file("lines.txt")) + "finished\n");
  for (std::string line; std::getline(lines, line);) expected.push_back(line);

  for (int columns : {20, 41}) {
    // A server of its own for each width: a new session on the socket of a
    // server still going away after kill-server found no server at times.
    const std::string tmux =
        "tmux -L mdx2obj-test-" + std::to_string(this_process()) + "-" + std::to_string(columns);
    std::system((tmux + " new-session -d -x " + std::to_string(columns) + " -y 50 \"cd '" +
                 dir.path.string() + "' && " + command + "; echo finished; sleep 60\"")
                    .c_str());
    for (int tries = 0; tries < 200; ++tries) {
      std::system((tmux + " capture-pane -p -J -S - -E - > screen.txt").c_str());
      if (read_file("screen.txt").find("finished") != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::system((tmux + " kill-server").c_str());
    std::vector<std::string> screen;
    std::istringstream shown(lines_of(read_file("screen.txt")));
    for (std::string line; std::getline(shown, line);) {
      screen.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
    while (!screen.empty() && screen.back().empty()) screen.pop_back();
    EXPECT_EQ(screen, expected) << columns << " columns";
  }

  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-r wide 2>&1 | cat > pipe.txt"), 0);
  EXPECT_EQ(read_file("pipe.txt").find('\r'), std::string::npos);
  EXPECT_EQ(run_in(dir.path.string(), "script", "-qec '" + command + " -qq' /dev/null > tty.txt"),
            0);
  EXPECT_EQ(read_file("tty.txt"), "");
}
#endif
