#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "front/front.h"
#include "model_builder.h"
#include "test_util.h"

namespace {

#ifdef _WIN32
const char kNullDevice[] = "NUL";
#else
const char kNullDevice[] = "/dev/null";
#endif

struct Answers {
  std::string first, second;
};

Answers answer(const std::string& typed) {
  std::istringstream in(typed);
  std::ostringstream console;
  Answers a;
  read_file_name(in, console, "Enter MDX Filename: ", &a.first);
  read_file_name(in, console, "Enter OBJ Filename: ", &a.second);
  EXPECT_EQ(console.str(), "Enter MDX Filename: Enter OBJ Filename: ");
  return a;
}

TEST(FileNameAnswer, IsTheWholeLineAsTyped) {
  const std::string long_name(300, 'n');
  Answers a = answer(long_name + "\nout.obj\n");
  EXPECT_EQ(a.first, long_name);
  EXPECT_EQ(a.second, "out.obj");
  a = answer("  spaced name.mdx \n\"quoted\".obj\n");
  EXPECT_EQ(a.first, "  spaced name.mdx ");
  EXPECT_EQ(a.second, "\"quoted\".obj");
}

TEST(FileNameAnswer, CarriageReturnBeforeNewlineIsDropped) {
  Answers a = answer("model.mdx\r\nout.obj\r\n");
  EXPECT_EQ(a.first, "model.mdx");
  EXPECT_EQ(a.second, "out.obj");
  EXPECT_EQ(answer("a\rb\n\r\n").first, "a\rb");
}

TEST(FileNameAnswer, EmptyLinesAndTheEndOfInput) {
  Answers a = answer("\nout.obj\n");
  EXPECT_EQ(a.first, "");
  EXPECT_EQ(a.second, "out.obj");
  a = answer("");
  EXPECT_EQ(a.first, "");
  EXPECT_EQ(a.second, "");
  a = answer("model.mdx");
  EXPECT_EQ(a.first, "model.mdx");
  EXPECT_EQ(a.second, "");
  a = answer("model.mdx\n");
  EXPECT_EQ(a.first, "model.mdx");
  EXPECT_EQ(a.second, "");
}

// One conversion in this process, on files in a scratch folder.
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
  void expect_one_line_naming(const std::string& name) {
    EXPECT_EQ(diag.rfind("mdx2obj: " + name + ": ", 0), 0u) << diag;
    EXPECT_EQ(std::count(diag.begin(), diag.end(), '\n'), 1) << diag;
  }
};

TEST_F(ConverterFixture, ConvertsAndSucceeds) {
  EXPECT_EQ(convert(model_name, obj_name), kExitSuccess);
  EXPECT_EQ(console.rfind(kTitleAndPrompts, 0), 0u);
  EXPECT_NE(console.find("Geoset Found!\nVertices: 3\n"), std::string::npos);
  EXPECT_EQ(read_file(obj_name), text_file(expected_obj({make_geoset(3, 1)})));
  EXPECT_EQ(diag, "");
}

TEST_F(ConverterFixture, ModelThatCannotBeOpenedEndsSilently) {
  for (const std::string& input : {dir.file("missing.mdx"), std::string(), dir.path.string(),
                                   std::string(kNullDevice), model_name + std::string(1, '\0')}) {
    EXPECT_EQ(convert(input, obj_name), kExitFailure) << input;
    EXPECT_EQ(console, kTitleAndPrompts);
    EXPECT_EQ(diag, "");
    EXPECT_FALSE(file_exists(obj_name));
  }
}

TEST_F(ConverterFixture, RefusesToWriteOverTheModel) {
  std::filesystem::create_directory(dir.file("sub"));
  std::vector<std::string> outputs = {model_name, dir.file("sub/../model.mdx"),
                                      dir.file("./model.mdx")};
  // Links where the file system lets the test make them.
  std::error_code ec;
  std::filesystem::create_hard_link(model_name, dir.file("hard.mdx"), ec);
  if (!ec) outputs.push_back(dir.file("hard.mdx"));
  std::filesystem::create_symlink(model_name, dir.file("link.mdx"), ec);
  bool have_symlink = !ec;
  if (have_symlink) outputs.push_back(dir.file("link.mdx"));
  for (const std::string& output : outputs) {
    EXPECT_EQ(convert(model_name, output), kExitFailure) << output;
    EXPECT_EQ(console, kTitleAndPrompts);
    expect_one_line_naming(output);
    EXPECT_EQ(read_file(model_name), model);
  }
  // The link as the model and the file itself as the output is the same pair.
  if (have_symlink) {
    EXPECT_EQ(convert(dir.file("link.mdx"), model_name), kExitFailure);
  }
  EXPECT_EQ(read_file(model_name), model);
}

TEST_F(ConverterFixture, OutputThatCannotBeWrittenFails) {
  std::filesystem::create_directory(dir.file("folder"));
  std::vector<std::string> outputs = {dir.file("folder"), dir.file("missing/model.obj"), "",
                                      obj_name + std::string(1, '\0') + "x"};
#ifndef _WIN32
  outputs.push_back("/dev/full");
  outputs.push_back("/proc/version");  // root may open it, but no write goes through
  // A folder without write permission stops everyone but root.
  std::filesystem::create_directory(dir.file("readonly"));
  std::filesystem::permissions(dir.file("readonly"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
  if (geteuid() != 0) outputs.push_back(dir.file("readonly/model.obj"));
#endif
  for (const std::string& output : outputs) {
    EXPECT_EQ(convert(model_name, output), kExitFailure) << output;
    expect_one_line_naming(output.empty() ? "\"\"" : output);
    EXPECT_EQ(read_file(model_name), model);
  }
  EXPECT_FALSE(file_exists(obj_name));
}

TEST_F(ConverterFixture, TruncatedModelKeepsWholeRecordsAndFails) {
  // Cut inside the second normal.
  std::size_t cut = model.find("NRMS") + 8 + 12 + 5;
  write_file(model_name, model.substr(0, cut));
  EXPECT_EQ(convert(model_name, obj_name), kExitFailure);
  EXPECT_EQ(console, std::string(kTitleAndPrompts) + "Geoset Found!\nVertices: 3\nNormals: 3\n");
  expect_one_line_naming(model_name);
  EXPECT_NE(diag.find("file ends inside the normals at offset " + std::to_string(cut - 5)),
            std::string::npos)
      << diag;
  std::string obj = read_file(obj_name);
  EXPECT_EQ(std::count(obj.begin(), obj.end(), '\n'), 4);
  EXPECT_EQ(obj.substr(obj.rfind("vn")), text_file("vn 0.000000 0.500000 -1.000000\n"));
}

#ifdef _WIN32
// What only the Windows build has: CR LF line ends, letter case that does not
// tell files apart, and names typed in the console's code page.
using WindowsFiles = ConverterFixture;

TEST_F(WindowsFiles, ObjLinesEndInCrLf) {
  ASSERT_EQ(convert(model_name, obj_name), kExitSuccess);
  std::string obj = read_file(obj_name);
  EXPECT_EQ(std::count(obj.begin(), obj.end(), '\n'), std::count(obj.begin(), obj.end(), '\r'));
  EXPECT_EQ(obj.substr(0, 30), "v 0.000000 0.000000 1.500000\r\n");
}

TEST_F(WindowsFiles, OtherLetterCaseIsTheSameFile) {
  EXPECT_EQ(convert(model_name, dir.file("MODEL.MDX")), kExitFailure);
  expect_one_line_naming(dir.file("MODEL.MDX"));
  EXPECT_EQ(read_file(model_name), model);
}

TEST_F(WindowsFiles, NamesOutsideAsciiOpenTheFilesTheyName) {
  UINT code_page = GetConsoleCP();
  if (code_page == 0) code_page = GetACP();
  auto typed = [&](const std::wstring& wide) {
    int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    BOOL lossy = FALSE;
    WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                        nullptr, &lossy);
    return lossy ? std::string() : bytes;
  };
  const std::wstring model_wide = L"mod\u00e8le.mdx", obj_wide = L"r\u00e9sultat.obj";
  std::string model_typed = typed(model_wide), obj_typed = typed(obj_wide);
  if (model_typed.empty() || obj_typed.empty()) GTEST_SKIP() << "code page " << code_page;
  std::ofstream(dir.path / model_wide, std::ios::binary) << model;
  EXPECT_EQ(convert(dir.path.string() + "\\" + model_typed, dir.path.string() + "\\" + obj_typed),
            kExitSuccess)
      << diag;
  EXPECT_EQ(read_file(dir.path / obj_wide), text_file(expected_obj({make_geoset(3, 1)})));
}
#endif

}  // namespace
