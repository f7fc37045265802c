#include "front/front.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "front/console.h"
#include "test_util.h"

namespace {

TEST(FileNameAnswer, IsTheWholeLineAsTyped) {
  const std::string long_name(300, 'n');
  const struct {
    std::string typed, first, second;
  } cases[] = {
      {long_name + "\nout.obj\n", long_name, "out.obj"},
      {"  spaced name.mdx \n\"quoted\".obj\n", "  spaced name.mdx ", "\"quoted\".obj"},
      {"model.mdx\r\nout.obj\r\n", "model.mdx", "out.obj"},  // a CR before the newline goes
      {"a\rb\n\r\n", "a\rb", ""},
      {"\nout.obj\n", "", "out.obj"},
      {"", "", ""},
      {"model.mdx", "model.mdx", ""},
      {"model.mdx\r", "model.mdx\r", ""},
      // One pair of matching quotes around a name that does not exist goes.
      {"\"a b.mdx\"\n'out.obj'\n", "a b.mdx", "out.obj"},
      {"\"a.mdx'\n\"\"\n", "\"a.mdx'", ""},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.typed);
    std::ostringstream console;
    std::string first, second;
    read_file_name(in, console, "Enter MDX Filename: ", &first);
    read_file_name(in, console, "Enter OBJ Filename: ", &second);
    EXPECT_EQ(console.str(), "Enter MDX Filename: Enter OBJ Filename: ");
    EXPECT_EQ(first, c.first) << c.typed;
    EXPECT_EQ(second, c.second) << c.typed;
  }
}

// Only a console window opened for the program alone, all of whose handles
// are that console, waits for Enter at the end.
TEST(ConsoleWait, OnlyAWindowOfItsOwnWaits) {
  const struct {
    ConsoleView view;
    bool waits;
  } cases[] = {
      {{true, 1, true, true, true}, true},       // Explorer, a double click, a drop
      {{false, 1, true, true, true}, false},     // Wine at a terminal, hidden consoles
      {{true, 2, true, true, true}, false},      // started from a shell's window
      {{true, 1, false, true, true}, false},     // input redirected
      {{true, 1, true, false, true}, false},     // output into a pipe
      {{true, 1, true, true, false}, false},     // standard error into a file
      {{false, 0, false, false, false}, false},  // no console at all
  };
  for (const auto& c : cases) EXPECT_EQ(waits_for_enter(c.view), c.waits);
}

// Conversions on files in a scratch folder: in this process, or by the built
// program as a user runs it, with the answers on standard input.
struct ConverterFixture : ::testing::Test {
  TempDir dir;
  std::string model_name = dir.file("model.mdx");
  std::string obj_name = dir.file("model.obj");
  std::string model = build_model({make_geoset(3, 1)});
  std::string console, diag;

  void SetUp() override { write_file(model_name, model); }

  int convert(const std::string& input, const std::string& output) {
    std::istringstream in(input + "\n" + output + "\n");
    std::ostringstream out, err;
    int status = run_converter(in, out, err);
    console = out.str();
    diag = err.str();
    return status;
  }
  int run_program(const std::string& answers) {
    write_file(dir.file("answers"), answers);
    int status = run_in(dir.path.string(), MDX2OBJ_PATH, "< answers > stdout.txt 2> stderr.txt");
    console = read_file(dir.file("stdout.txt"));
    diag = read_file(dir.file("stderr.txt"));
    return status;
  }
  // Fails with one line that names `output` and begins the reason with `why`,
  // and leaves the model as it was.
  // `shown`: the name as the line shows it, where it is not `output` itself.
  void expect_refused(const std::string& output, const std::string& why,
                      const std::string& shown = "") {
    EXPECT_EQ(convert(model_name, output), kExitFailure) << output;
    const std::string name = !shown.empty() ? made(shown) : output.empty() ? "\"\"" : made(output);
    EXPECT_EQ(diag.rfind("mdx2obj: " + name + ": " + why, 0), 0u) << diag;
    EXPECT_EQ(diag.find('\n'), diag.size() - 1) << diag;
    EXPECT_EQ(read_file(model_name), model);
  }
};

TEST_F(ConverterFixture, ModelThatCannotBeOpenedEndsSilently) {
  for (const std::string& input : {dir.file("missing.mdx"), std::string(), dir.path.string(),
                                   std::string(kNullDevice), model_name + std::string(1, '\0')}) {
    EXPECT_EQ(convert(input, obj_name), kExitFailure) << input;
    EXPECT_EQ(console + diag, kTitleAndPrompts);
    EXPECT_FALSE(file_exists(obj_name));
  }
}

TEST_F(ConverterFixture, RefusesToWriteOverTheModel) {
  std::filesystem::create_directory(dir.file("sub"));
  std::vector<std::string> outputs = {model_name, dir.file("sub/../model.mdx"),
                                      dir.file("./model.mdx")};
  if (kNamesIgnoreCase) outputs.push_back(dir.file("MODEL.MDX"));
  // Links where the file system lets the test make them.
  std::error_code ec;
  std::filesystem::create_hard_link(model_name, dir.file("hard.mdx"), ec);
  if (!ec) outputs.push_back(dir.file("hard.mdx"));
  std::filesystem::create_symlink(model_name, dir.file("link.mdx"), ec);
  if (!ec) outputs.push_back(dir.file("link.mdx"));
  for (const std::string& output : outputs) {
    expect_refused(output, "is the model file itself; refusing to overwrite it");
  }
}

TEST_F(ConverterFixture, OutputThatCannotBeWrittenFails) {
  // Enough OBJ text that the walk itself meets the full disk.
  model = build_model({make_geoset(20000, 10000)});
  write_file(model_name, model);
  std::filesystem::create_directory(dir.file("folder"));
  if (*kFullDevice) expect_refused(kFullDevice, "write failed: No space left on device");
  expect_refused(dir.file("folder"), "cannot create: ");
  expect_refused(dir.file("missing/model.obj"), "cannot create: No such file or directory");
  expect_refused("", "cannot create: ");
  expect_refused(obj_name + std::string(1, '\0') + "x",
                 "cannot create: the name holds a NUL character", obj_name + "?x");
  EXPECT_FALSE(file_exists(obj_name));
}

// A quoted answer that names a file as typed is used as typed.
TEST_F(ConverterFixture, QuotedNameThatExistsStandsAsTyped) {
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  write_file("'q.mdx'", model);
  EXPECT_EQ(convert("'q.mdx'", "\"q.obj\""), kExitSuccess) << diag;
  EXPECT_TRUE(file_exists("q.obj"));
  std::filesystem::current_path(before);
}

#ifdef _WIN32
const std::string kNotUtf8 = "the name is not UTF-8";
#else
const std::string kNotUtf8 = reason(ENOENT);
#endif

TEST_F(ConverterFixture, CommandLineArguments) {
  // Names of models that do not exist are looked for in the scratch folder.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  const std::string obj = dir.file("x.obj");
  const struct {
    std::vector<std::string> args;
    int status;
    std::string diag;
  } cases[] = {
      {{"-q", "--", "-m.mdx"},
       kExitFailure,
       "mdx2obj: -m.mdx: cannot open: No such file or directory\n"},
      // A name's control characters show as "?": a line stays one line.
      {{std::string("a\0b", 3)},
       kExitFailure,
       "mdx2obj: a?b: cannot open: the name holds a NUL character\n"},
      // A byte that is no UTF-8 stands as the name has it (on Windows such a
      // name, which only a list can give, names no file).
      {{"-qq", "a\nb\x1b[2J\xc2\x85.mdx", "\xc2\xa0\xff.mdx"},
       kExitFailure,
       "mdx2obj: a?b?[2J?.mdx: cannot open: No such file or directory\n"
       "mdx2obj: \xc2\xa0\xff.mdx: cannot open: " +
           kNotUtf8 + "\n"},
      {{"--help", "--frob"}, kExitSuccess, ""},
      {{"--version"}, kExitSuccess, ""},
      // The OBJ goes to the file named, and a summary says so.
      {{"--output=" + obj, model_name},
       kExitSuccess,
       model_name + " -> " + obj + ": 1 geoset, 3 vertices, 1 triangle\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(c.args, out, err), c.status) << c.diag;
    EXPECT_EQ(err.str(), c.diag);
    EXPECT_EQ(out.str().empty(), c.status != kExitSuccess || c.diag != "") << out.str();
  }
  EXPECT_EQ(read_file(obj), text_file(expected_obj({make_geoset(3, 1)})));
  // Each model becomes an OBJ file beside it, its extension replaced.
  std::filesystem::create_directory(dir.file("art"));
  for (const char* name : {"art/unit.mdx", "Unit.MDX", "plain"}) write_file(dir.file(name), model);
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({dir.file("art/unit.mdx"), dir.file("Unit.MDX"), dir.file("plain")},
                             out, err),
            kExitSuccess);
  for (const char* name : {"art/unit.obj", "Unit.obj", "plain.obj"}) {
    EXPECT_EQ(read_file(dir.file(name)), text_file(expected_obj({make_geoset(3, 1)}))) << name;
  }
  // Two spellings of one scale shape the same OBJ.
  std::string first;
  for (const std::vector<std::string>& scale :
       {std::vector<std::string>{"--scale=0.025"}, {"--scale", "2.5e-2"}, {"--scale=.0250"}}) {
    std::vector<std::string> args = scale;
    for (const char* more : {"--up", "y", "-o", "-", "-q"}) args.push_back(more);
    args.push_back(model_name);
    std::ostringstream text, why;
    EXPECT_EQ(run_command_line(args, text, why), kExitSuccess) << why.str();
    if (first.empty()) first = text.str();
    EXPECT_EQ(text.str(), first) << scale[0];
  }
  EXPECT_EQ(first.substr(0, first.find('\n')), "v 0.000000 0.037500 0.000000");
  std::filesystem::current_path(before);
}

// One run of the built program for each way a run ends.
using EndToEnd = ConverterFixture;

TEST_F(EndToEnd, ConvertsAModelWithItsConsoleText) {
  std::vector<GeosetData> geosets = {make_geoset(3, 1), make_geoset(4, 2, 1.0f)};
  std::vector<GeosetOffsets> at;
  write_file(dir.file("unit.mdx"), build_model(geosets, &at));
  EXPECT_EQ(run_program("unit.mdx\r\nunit.obj\r\n"), 0);
  EXPECT_EQ(console, text_file(kTitleAndPrompts + expected_progress(geosets[0], at[0]) +
                               expected_progress(geosets[1], at[1])));
  EXPECT_EQ(diag, "");
  EXPECT_EQ(read_file(dir.file("unit.obj")), text_file(expected_obj(geosets)));
}

// A model large enough for a pool of threads: its OBJ and console text are
// those of one thread, whatever the number of threads.
TEST_F(EndToEnd, ConvertsALargeModelWithAnyNumberOfThreads) {
  std::vector<GeosetData> geosets;
  std::vector<GeosetOffsets> at;
  for (int g = 0; g < 30; ++g) geosets.push_back(make_geoset(1200 + 100 * g, 2000, g * 3.0f));
  write_file(dir.file("large.mdx"), build_model(geosets, &at));
  ASSERT_GE(std::filesystem::file_size(dir.file("large.mdx")), 1u << 20);
  std::string progress;
  for (std::size_t g = 0; g < geosets.size(); ++g) progress += expected_progress(geosets[g], at[g]);
  const std::string obj = text_file(expected_obj(geosets));
  for (const char* threads : {"1", "2", "5"}) {
    set_env("MDX2OBJ_THREADS", threads);
    EXPECT_EQ(run_program("large.mdx\nlarge.obj\n"), 0) << threads;
    EXPECT_EQ(console, text_file(kTitleAndPrompts + progress)) << threads;
    EXPECT_TRUE(read_file(dir.file("large.obj")) == obj) << threads;
  }
  set_env("MDX2OBJ_THREADS", nullptr);
}

TEST_F(EndToEnd, FailuresEndWithStatus1) {
  EXPECT_EQ(run_program("none.mdx\nnone.obj\n"), 1);
  EXPECT_EQ(console + diag, text_file(kTitleAndPrompts));
  EXPECT_FALSE(file_exists(dir.file("none.obj")));
  write_file(dir.file("cut.mdx"), model.substr(0, model.find("PVTX") + 6));
  EXPECT_EQ(run_program("cut.mdx\ncut.obj\n"), 1);
  EXPECT_EQ(diag, text_file("mdx2obj: cut.mdx: file ends inside the index count at offset " +
                            std::to_string(model.find("PVTX") + 4) + " (cut.obj is partial)\n"));
  // The whole records before the cut are kept.
  const std::string whole = expected_obj({make_geoset(3, 1)});
  EXPECT_EQ(read_file(dir.file("cut.obj")), text_file(whole.substr(0, whole.find("vt "))));
}

// Wildcards and names outside ASCII on the command line, as a shell (or on
// Windows the program itself) expands them.
TEST_F(EndToEnd, CommandLineConvertsABatch) {
  write_file(dir.path / std::filesystem::u8path("mod\u00e8le.mdx"), model);
  write_file(dir.file("text.mdx"), "no geosets here\n");
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "*.mdx none.mdx > stdout.txt 2> stderr.txt"),
            1);
  EXPECT_EQ(read_file(dir.file("stdout.txt")), "");
  // One line for each model, in the order the shell gave them.
  std::string lines = read_file(dir.file("stderr.txt"));
  lines.replace(lines.find(" failed (") + 9, lines.find(" s, ") - lines.find(" failed (") - 9, "T");
  const std::string obj_size = std::to_string(text_file(expected_obj({make_geoset(3, 1)})).size());
  EXPECT_EQ(lines,
            text_file("model.mdx -> model.obj: 1 geoset, 3 vertices, 1 triangle\n"
                      "mod\u00e8le.mdx -> mod\u00e8le.obj: 1 geoset, 3 vertices, 1 triangle\n"
                      "mdx2obj: text.mdx: no geosets found\n"
                      "mdx2obj: none.mdx: cannot open: No such file or directory\n"
                      "4 models: 2 converted, 2 failed (T s, " +
                      std::to_string(2 * std::stoi(obj_size)) + " bytes of OBJ)\n"));
  EXPECT_EQ(read_file(dir.path / std::filesystem::u8path("mod\u00e8le.obj")),
            text_file(expected_obj({make_geoset(3, 1)})));
  EXPECT_FALSE(file_exists(dir.file("text.obj")));
}

TEST_F(EndToEnd, CommandLineWritesObjectsToStandardOutput) {
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH,
                   "-q --objects -o - model.mdx > stdout.txt 2> stderr.txt"),
            0);
  EXPECT_EQ(read_file(dir.file("stdout.txt")),
            text_file("o geoset_1\n" + expected_obj({make_geoset(3, 1)})));
  EXPECT_EQ(read_file(dir.file("stderr.txt")), "");
  // Standard output that takes no byte fails as itself, not as the model.
  if (*kFullDevice) {
    EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH,
                     "-q -o - model.mdx > " + std::string(kFullDevice) + " 2> stderr.txt"),
              1);
    EXPECT_EQ(read_file(dir.file("stderr.txt")),
              "mdx2obj: standard output: write failed: " + reason(ENOSPC) + "\n");
  }
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "--frob 2> stderr.txt"), 2);
  EXPECT_EQ(
      read_file(dir.file("stderr.txt")),
      text_file("mdx2obj: unknown option --frob\nusage: mdx2obj [OPTIONS] PATH... (mdx2obj --help "
                "tells more)\n"));
}

}  // namespace
