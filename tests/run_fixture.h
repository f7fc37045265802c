// A scratch folder and the real program run in it: what end-to-end tests
// share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "test_util.h"

struct RunFixture : ::testing::Test {
  TempDir dir;

  void put(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((dir.path / name).parent_path());
    write_file(dir.path / name, bytes);
  }
  int run(const std::string& args) {
    return run_in(dir.path.string(), MDX2OBJ_PATH, args + " 2>err");
  }
  std::string file(const std::string& name) { return read_file(dir.path / name); }
  // A text file's lines, whatever the platform ends them with.
  std::string text(const std::string& name) {
    std::string t = file(name);
    t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
    return t;
  }
  std::string err() { return lines_of(text("err")); }
};
