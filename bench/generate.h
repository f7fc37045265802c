// Models for timing the converter, made from the block layout by the tests'
// model builder.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "texture_builder.h"

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

// As generate_model, with a skeleton that moves it: 40 bones, three
// sequences of linear and Bezier keys, each vertex of a group of 1 to 4.
std::string skinned_model(std::size_t bytes, unsigned seed, ModelKind kind);

// The tests' walking unit, and where its vertices of groups of at most 4
// nodes stand half a second into its first sequence, in glTF's axes, as JSON.
std::string walking_model();
std::string walking_pose();

// A model that looks like one, for pictures: a figure of a few smooth parts
// (body, head, a ring, a hat), each a geoset with unit normals and texture
// coordinates on a texel grid.
// With `skinned`, a skeleton that sways it in a "Walk".
std::string shape_model(unsigned seed, bool textured = false, bool skinned = false);

// With materials: as generate_model, its geosets taking in turn a unit's skin
// (over the team colour) and a blended texture that many models share, named
// by the paths `skin` and `shared` ("Textures\\Skin.blp").
// A `skin` of kTeamOnly: the same materials with the team colour and glow
// that the game supplies in place of both files.
std::string dressed_model(std::size_t bytes, unsigned seed, ModelKind kind, const std::string& skin,
                          const std::string& shared);
constexpr char kTeamOnly[] = "team";

// A texture as games draw them, `side` pixels a side: broad strokes of two
// shades, seams, the grain of paint; with `alpha`, solid inside and fading and
// cut out at the edges, else opaque.
Pixels painted_texture(unsigned seed, unsigned side, bool alpha);

// The painted texture of `seed` as a BLP1 file of the JPEG kind or of the
// palette kind (its colours brought to the palette's 256), with 8 bits of
// alpha; every second seed's alpha is all opaque.
std::string texture_file(unsigned seed, unsigned side, bool jpeg);

// The textures of shape_model(seed, true): each part's path and BLP bytes.
std::vector<std::pair<std::string, std::string>> shape_textures(unsigned seed);
