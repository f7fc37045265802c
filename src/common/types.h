// The block tags of a geoset as the model reader finds them in the file.
#pragma once

// Four raw bytes of a block tag, compared byte for byte; no terminating zero.
struct Tag {
  char bytes[4];
};

constexpr Tag kVertexTag = {{'V', 'R', 'T', 'X'}};
constexpr Tag kIndexTag = {{'P', 'V', 'T', 'X'}};
constexpr Tag kTexCoordTag = {{'U', 'V', 'B', 'S'}};
