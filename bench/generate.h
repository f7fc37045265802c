// Models for timing the converter, made from the block layout by the tests'
// model builder.
#pragma once

#include <cstddef>
#include <string>

enum class ModelKind {
  kNoise,      // coordinates anywhere in their range, faces over random vertices
  kRealistic,  // texel-grid texture coordinates, grid-snapped positions, unit
               // normals, faces over nearby vertices
  kLarge,      // as noise, but a few geosets of 20,000 to 60,000 vertices
               // filling the whole model, as high-detail and merged models are
};

// The bytes of a model of about `bytes` bytes: geosets of a few thousand
// vertices with their index and texture blocks, inside header, texture,
// animation and bone chunks of realistic bulk (kLarge: geosets alone).
std::string generate_model(std::size_t bytes, unsigned seed, ModelKind kind);

// A model that looks like one, for pictures: a figure of a few smooth parts
// (body, head, a ring, a hat), each a geoset with unit normals and texture
// coordinates on a texel grid.
std::string shape_model(unsigned seed);
