// The GLB's JSON, made a piece at a time so that a model of many geosets never
// holds its whole text: told once to count its length, once to write it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "gltf/glb_model.h"

using JsonPieces = std::function<void(const std::string&)>;

// Hands the JSON to `put` in pieces, in order.
void glb_json(const GlbScan& scan, const GlbContent& content, const JsonPieces& put);

// The binary chunk's length: each geoset's mesh, then each image, each view
// padded to a multiple of 4.
std::uint64_t glb_bin_length(const GlbScan& scan, const GlbContent& content);

// A name of the model as UTF-8: bytes that are no UTF-8 read as Latin-1.
std::string utf8_name(const std::string& bytes);
