// The records of a geoset as the model reader reads them from the file; the
// OBJ writer takes their components as plain numbers.
#pragma once

#include <cstdint>

// Four raw bytes of a block tag, compared byte for byte; no terminating zero.
struct Tag {
  char bytes[4];
};

constexpr Tag kVertexTag = {{'V', 'R', 'T', 'X'}};
constexpr Tag kIndexTag = {{'P', 'V', 'T', 'X'}};
constexpr Tag kTexCoordTag = {{'U', 'V', 'B', 'S'}};

struct Vec3 {
  float x, y, z;
};

struct TexCoord {
  float u, v;
};

// 0-based within the geoset that holds them.
struct FaceIndices {
  std::uint16_t a, b, c;
};
