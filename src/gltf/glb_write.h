// The GLB file: its JSON from the first pass's counts and bounds, then its
// binary chunk streamed (the geometry by the second pass, the images last).
// One buffer, the binary chunk; a bufferView for each attribute, the indices
// and each image, each starting at a multiple of 4.
#pragma once

#include <cstdint>
#include <streambuf>
#include <string>

#include "gltf/glb_model.h"

struct GlbLayout {
  std::uint64_t json = 0;  // the JSON chunk's length, padded with spaces to a multiple of 4
  std::uint64_t bin = 0;   // the binary chunk's length, a multiple of 4; 0: none
  std::uint64_t total = 0;
};

// Lays the GLB out; false where it would pass 4 GiB, which its header cannot
// count.
bool lay_out_glb(const GlbScan& scan, const GlbContent& content, GlbLayout* layout,
                 std::string* err);

// The header, the JSON chunk and the binary chunk's header.
bool write_glb_start(std::streambuf* out, const GlbScan& scan, const GlbContent& content,
                     const GlbLayout& layout, std::string* err);

// After the geometry: the skin's inverse bind matrices and the animations'
// times and values.
bool write_glb_skeleton(std::streambuf* out, const GlbContent& content, std::string* err);

// The images, after the geometry, each padded to 4 bytes.
bool write_glb_images(std::streambuf* out, const GlbContent& content, std::string* err);
