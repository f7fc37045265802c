// Helpers shared by the tests: scratch folders, whole-file reads, the expected
// text of well-formed models, and every difference of the Windows build.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

#include "common/file_calls.h"
#include "model_builder.h"
#include "walk_checks.h"

// No file that a test or the program it runs writes grows past this: a fault
// that makes a conversion loop fails its test (the write fails with EFBIG)
// instead of filling the disk.
constexpr std::uint64_t kLargestTestFile = std::uint64_t(256) << 20;

inline bool bound_test_output() {
#ifndef _WIN32
  rlimit limit{kLargestTestFile, kLargestTestFile};
  setrlimit(RLIMIT_FSIZE, &limit);
  signal(SIGXFSZ, SIG_IGN);  // inherited by the programs the tests start
#endif
  return true;
}
inline const bool kTestOutputBounded = bound_test_output();

// Every scratch folder of the suite lies in this one, named after the process
// that made it: a later run removes those whose process is gone, so that a
// test killed by its time limit leaves nothing behind for long.
inline std::filesystem::path scratch_root() {
  return std::filesystem::temp_directory_path() / "mdx2obj-tests";
}

inline void remove_orphaned_scratch() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(scratch_root(), ec)) {
    const std::string name = entry.path().filename().string();
    if (process_ended(name.substr(0, name.find('-')))) {
      std::filesystem::remove_all(long_path(entry.path()), ec);
    }
  }
}

// A fresh folder that is removed with everything in it when the test ends.
struct TempDir {
  std::filesystem::path path;

  TempDir() {
    remove_orphaned_scratch();
    path = scratch_root() / (std::to_string(this_process()) + "-" +
                             std::to_string(std::mt19937_64(std::random_device{}())()));
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(long_path(path), ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

inline void write_file(const std::filesystem::path& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string read_file(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool file_exists(const std::filesystem::path& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
constexpr char kFullDevice[] = "";  // none
constexpr bool kNamesIgnoreCase = true;

// Text as a text-mode stream stores it.
inline std::string text_file(const std::string& text) {
  std::string stored;
  stored.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
}

// Runs `program` in `dir` with its streams redirected; returns the exit status.
// On a build run under Wine the host's files lie on drive Z:.
inline int run_in(const std::string& dir, std::string program, const std::string& redirects) {
  for (char& c : program) c = c == '/' ? '\\' : c;
  std::string command = "cd /d \"" + dir + "\" && \"Z:" + program + "\" " + redirects;
  return std::system(command.c_str());
}
#else
constexpr char kNullDevice[] = "/dev/null";
constexpr char kFullDevice[] = "/dev/full";
constexpr bool kNamesIgnoreCase = false;

inline std::string text_file(const std::string& text) { return text; }

inline int run_in(const std::string& dir, const std::string& program,
                  const std::string& redirects) {
  int raw = std::system(("cd '" + dir + "' && '" + program + "' " + redirects).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

// Sets an environment variable for this process and the programs it starts;
// nullptr removes it.
inline void set_env(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

// A name as the program shows it, with the platform's separators.
inline std::string made(const std::string& name) {
  return std::filesystem::path(name).make_preferred().string();
}

// A name as the program's JSON shows it: made(), each "\\" escaped.
inline std::string json_made(const std::string& name) {
  std::string json;
  for (char c : made(name)) json += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return json;
}

// Six-decimal text of values that have at most six decimals, where the C
// library's rounding never comes into play.
inline std::string fixed(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", v == 0 ? 0.0 : v);
  return text;
}

// What the converter must write for geosets that each carry their own
// blocks: per geoset its positions, normals, texture coordinates and faces,
// with one numbering across all of them.
inline std::string expected_obj(const std::vector<GeosetData>& geosets) {
  std::string obj;
  std::uint64_t base = 0;
  auto vec3 = [](const char* kind, const Vec3& p) {
    return kind + fixed(p.x) + " " + fixed(p.y) + " " + fixed(p.z) + "\n";
  };
  for (const GeosetData& g : geosets) {
    for (const Vec3& p : g.vertices) obj += vec3("v ", p);
    for (const Vec3& n : g.normals) obj += vec3("vn ", n);
    for (const TexCoord& t : g.tex_coords)
      obj += "vt " + fixed(t.u) + " " + fixed(1.0 - t.v) + "\n";
    for (std::size_t i = 0; i < g.indices.size() / 3 * 3; ++i) {
      std::string n = std::to_string(g.indices[i] + base + 1);
      obj += (i % 3 ? " " : "f ") + n + "/" + n + "/" + n + (i % 3 == 2 ? "\n" : "");
    }
    base += g.vertices.size();
  }
  return obj;
}

constexpr char kTitleAndPrompts[] =
    "Quarnex MDX -> OBJ File Converter\nEnter MDX Filename: Enter OBJ Filename: ";

// The progress lines of one geoset that has all four blocks.
inline std::string expected_progress(const GeosetData& g, const GeosetOffsets& at) {
  return "Geoset Found!\nVertices: " + std::to_string(g.vertices.size()) +
         "\nNormals: " + std::to_string(g.normals.size()) +
         "\nTVerts: " + std::to_string(g.tex_coords.size()) + "\n" +
         std::to_string(at.tex_tag + 8) + "\nFaces: " + std::to_string(g.indices.size()) + "\n" +
         std::to_string(at.index_tag + 8) + "\n";
}

// Every line of standard error, the tally's time made constant.
inline std::string lines_of(std::string diag) {
  for (std::size_t at = 0; (at = diag.find(" s, ", at)) != std::string::npos;) {
    std::size_t open = diag.rfind('(', at);
    diag.replace(open + 1, at - open - 1, "T");
    at = open + 5;
  }
  return diag;
}
