// Models for timing the converter, made from the block layout by the tests'
// model builder.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

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
std::string shape_model(unsigned seed, bool textured = false);

// With materials: as generate_model, its geosets taking in turn a unit's skin
// (over the team colour) and a blended texture that many models share, named
// by the paths `skin` and `shared` ("Textures\\Skin.blp").
std::string dressed_model(std::size_t bytes, unsigned seed, ModelKind kind, const std::string& skin,
                          const std::string& shared);

// A texture of `side` pixels a side: a checkerboard in two colours of its
// own, as a BLP1 file of the palette kind (with 8-bit alpha) or the JPEG kind.
std::string texture_file(unsigned seed, unsigned side, bool jpeg);

// The textures of shape_model(seed, true): each part's path and BLP bytes.
std::vector<std::pair<std::string, std::string>> shape_textures(unsigned seed);
