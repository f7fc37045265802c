// The MTL file beside an OBJ: one material a block, as every reader takes it.
#pragma once

#include <string>
#include <vector>

#include "common/material_plan.h"

struct MtlMaterial {
  std::string name;          // "material_N" or "none"
  bool team_colour = false;  // the game's team colour: the first player's red
  std::string map;           // the image, relative to the MTL, "/" between folders; "" for none
  bool map_d = false;        // the image's alpha is the material's too
};

// The material's lines: "newmtl", the colours, "d", "illum" and its maps.
std::string mtl_text(const MtlMaterial& material);

// The MTL file of the planned materials, material_1 ... material_N, each
// mapping the image `maps` gives its texture (from the MTL's folder), and
// "none" where a geoset uses none.
std::string mtl_file_text(const std::vector<PlannedMaterial>& plan,
                          const std::vector<std::string>& maps, bool none_used);

// The MTL's name for an OBJ's: ".obj" (any case) replaced by ".mtl", or
// ".mtl" added.
std::string mtl_name_for(const std::string& obj);
