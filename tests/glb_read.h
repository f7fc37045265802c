// Reads back the GLB files the converter writes: their JSON by the same
// library, their accessors and images from the binary chunk, and every check
// of the container's own layout on the way. Where the Khronos validator is
// at hand (native builds), it checks each file too.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/little_endian.h"

struct Glb {
  nlohmann::json json;
  std::string bin;
};

// The container: header, a JSON chunk padded with spaces, a binary chunk
// padded with zeros, the total length right.
inline Glb read_glb(const std::string& bytes) {
  Glb glb;
  const auto u32 = [&](std::size_t at) {
    return le_u32(reinterpret_cast<const unsigned char*>(bytes.data() + at));
  };
  EXPECT_GE(bytes.size(), 20u);
  if (bytes.size() < 20) return glb;
  EXPECT_EQ(bytes.substr(0, 4), "glTF");
  EXPECT_EQ(u32(4), 2u);
  EXPECT_EQ(u32(8), bytes.size());
  const std::uint32_t json = u32(12);
  EXPECT_EQ(bytes.substr(16, 4), "JSON");
  EXPECT_EQ(json % 4, 0u);
  glb.json = nlohmann::json::parse(bytes.substr(20, json));
  const std::size_t bin_at = 20 + json;
  if (bin_at < bytes.size()) {
    EXPECT_EQ(bytes.substr(bin_at + 4, 4), std::string("BIN\0", 4));
    EXPECT_EQ(u32(bin_at), bytes.size() - bin_at - 8);
    glb.bin = bytes.substr(bin_at + 8);
    EXPECT_EQ(glb.json["buffers"][0]["byteLength"], glb.bin.size());
  }
  return glb;
}

// The bytes of a bufferView.
inline std::string view_bytes(const Glb& glb, std::size_t view) {
  const nlohmann::json& v = glb.json["bufferViews"][view];
  const std::size_t offset = v["byteOffset"], length = v["byteLength"];
  EXPECT_EQ(offset % 4, 0u);
  return glb.bin.substr(offset, length);
}

// An accessor's values, each as a double (floats and integers alike), read
// at its offset and its view's stride.
inline std::vector<double> accessor_values(const Glb& glb, std::size_t accessor) {
  const nlohmann::json& a = glb.json["accessors"][accessor];
  const nlohmann::json& view = glb.json["bufferViews"][a["bufferView"].get<std::size_t>()];
  const std::string bytes = view_bytes(glb, a["bufferView"]);
  const int type = a["componentType"];
  const std::size_t width = type == 5121 ? 1 : type == 5123 ? 2 : 4;
  const std::string kind = a["type"];
  const std::size_t per = kind == "SCALAR" ? 1
                          : kind == "VEC2" ? 2
                          : kind == "VEC3" ? 3
                          : kind == "VEC4" ? 4
                                           : 16;
  const std::size_t stride = view.value("byteStride", per * width);
  const std::size_t offset = a.value("byteOffset", std::size_t(0)), count = a["count"];
  std::vector<double> values;
  if (count > 0 && offset + (count - 1) * stride + per * width > bytes.size()) {
    ADD_FAILURE() << "accessor " << accessor << " runs past its view";
    return values;
  }
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t c = 0; c < per; ++c) {
      const auto* b =
          reinterpret_cast<const unsigned char*>(bytes.data() + offset + i * stride + c * width);
      if (type == 5126) {
        float f;
        const std::uint32_t bits = le_u32(b);
        std::memcpy(&f, &bits, 4);
        values.push_back(f);
      } else {
        values.push_back(width == 1 ? b[0] : width == 2 ? le_u16(b) : le_u32(b));
      }
    }
  }
  return values;
}

// The Khronos validator over every GLB under `folder`: no error and no
// warning in any.
inline void validate_glbs(const std::filesystem::path& folder) {
#ifdef MDX2OBJ_GLTF_CHECK
  std::string files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.path().extension() == ".glb") files += " '" + entry.path().string() + "'";
  }
  if (files.empty()) return;
  const std::string command = MDX2OBJ_GLTF_CHECK + files + " > /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << "the glTF validator refused a GLB: " << command;
#else
  (void)folder;
#endif
}
