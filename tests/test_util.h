// Helpers shared by the tests: scratch folders, whole-file reads, and the
// expected text of well-formed models.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model_builder.h"

// A fresh folder that is removed with everything in it when the test ends.
struct TempDir {
  std::filesystem::path path;

  TempDir() {
    std::random_device seed;
    std::mt19937_64 rng(seed());
    std::error_code ec;
    do {
      path = std::filesystem::temp_directory_path() / ("mdx2obj-" + std::to_string(rng()));
    } while (!std::filesystem::create_directory(path, ec) && !ec);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
};

// A path of the build machine as the program under test spells it: on a
// Windows build run under Wine the host's files lie on drive Z:.
inline std::string host_path(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
#endif
  return path;
}

// Text as a text-mode stream stores it: CR LF line ends on Windows.
inline std::string text_file(const std::string& text) {
#ifdef _WIN32
  std::string stored;
  for (char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
#else
  return text;
#endif
}

inline void write_file(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string read_file(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool file_exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec);
}

// Six-decimal text of values that have at most six decimals, where the C
// library's rounding never comes into play.
inline std::string fixed(double v) {
  if (v == 0) v = 0;  // the C library signs a negative zero
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", v);
  return text;
}

// The records of well-formed geosets, one line each; `base` is the number of
// vertex positions of the geosets before (0-based).
inline std::string vec3_line(const char* prefix, const Vec3& p) {
  return std::string(prefix) + " " + fixed(p.x) + " " + fixed(p.y) + " " + fixed(p.z) + "\n";
}

inline std::string tex_line(const TexCoord& t) {
  return "vt " + fixed(t.u) + " " + fixed(1.0 - t.v) + "\n";
}

inline std::string face_line(const GeosetData& g, std::size_t face, std::uint64_t base) {
  std::string line = "f";
  for (std::size_t k = 0; k < 3; ++k) {
    std::string n = std::to_string(g.indices[3 * face + k] + base + 1);
    line += " " + n + "/" + n + "/" + n;
  }
  return line + "\n";
}

// What the converter must write for geosets that each carry their own
// blocks: per geoset its positions, normals, texture coordinates and faces,
// with one numbering across all of them.
inline std::string expected_obj(const std::vector<GeosetData>& geosets) {
  std::string obj;
  std::uint64_t base = 0;
  for (const GeosetData& g : geosets) {
    for (const Vec3& p : g.vertices) obj += vec3_line("v", p);
    for (const Vec3& n : g.normals) obj += vec3_line("vn", n);
    for (const TexCoord& t : g.tex_coords) obj += tex_line(t);
    for (std::size_t face = 0; face < g.indices.size() / 3; ++face) obj += face_line(g, face, base);
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
