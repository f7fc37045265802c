// Runs the built program as a user does: answers on standard input, the
// console and the exit status read back.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <string>

#include "model_builder.h"
#include "test_util.h"

namespace {

struct Program {
  int status = -1;
  std::string out, err;
};

struct EndToEnd : ::testing::Test {
  TempDir dir;

  // Runs mdx2obj in the scratch folder with `answers` as its whole input.
  Program run(const std::string& answers) {
    write_file(dir.file("answers"), answers);
    Program p;
#ifdef _WIN32
    std::string command = "cd /d \"" + dir.path.string() + "\" && \"" + host_path(MDX2OBJ_PATH) +
                          "\" < answers > stdout.txt 2> stderr.txt";
    p.status = std::system(command.c_str());
#else
    std::string command =
        "cd '" + dir.path.string() + "' && '" MDX2OBJ_PATH "' < answers > stdout.txt 2> stderr.txt";
    int raw = std::system(command.c_str());
    p.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    p.out = read_file(dir.file("stdout.txt"));
    p.err = read_file(dir.file("stderr.txt"));
    return p;
  }
};

TEST_F(EndToEnd, ConvertsAModelWithItsConsoleText) {
  std::vector<GeosetData> geosets = {make_geoset(3, 1), make_geoset(4, 2, 1.0f)};
  std::vector<GeosetOffsets> at;
  write_file(dir.file("unit.mdx"), build_model(geosets, &at));
  Program p = run("unit.mdx\r\nunit.obj\r\n");
  EXPECT_EQ(p.status, 0);
  std::string expected = kTitleAndPrompts;
  for (std::size_t i = 0; i < geosets.size(); ++i) expected += expected_progress(geosets[i], at[i]);
  EXPECT_EQ(p.out, text_file(expected));
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(read_file(dir.file("unit.obj")), text_file(expected_obj(geosets)));
}

TEST_F(EndToEnd, MissingModelEndsSilentlyWithFailure) {
  Program p = run("none.mdx\nnone.obj\n");
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(p.out, text_file(kTitleAndPrompts));
  EXPECT_EQ(p.err, "");
  EXPECT_FALSE(file_exists(dir.file("none.obj")));
  p = run("");
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(p.out, text_file(kTitleAndPrompts));
}

TEST_F(EndToEnd, FailuresSayWhyOnStandardError) {
  std::string model = build_model({make_geoset(3, 1)});
  write_file(dir.file("cut.mdx"), model.substr(0, model.find("PVTX") + 6));
  Program p = run("cut.mdx\ncut.obj\n");
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(p.err, text_file("mdx2obj: cut.mdx: file ends inside the index count at offset " +
                             std::to_string(model.find("PVTX") + 4) + "\n"));

  write_file(dir.file("whole.mdx"), model);
  p = run("whole.mdx\n./whole.mdx\n");
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(p.out, text_file(kTitleAndPrompts));
  EXPECT_EQ(p.err, text_file("mdx2obj: ./whole.mdx: is the model file itself; refusing to "
                             "overwrite it\n"));
  EXPECT_EQ(read_file(dir.file("whole.mdx")), model);

#ifndef _WIN32
  p = run("whole.mdx\n/dev/full\n");
  EXPECT_NE(p.status, 0);
  EXPECT_EQ(p.err, "mdx2obj: /dev/full: write failed: No space left on device\n");
#endif
}

}  // namespace
