// How a model's records are written beyond the dialogue's plain OBJ: the
// options --objects, --up and --scale, as one value from the command line
// (or the page) to the text.
#pragma once

#include <string>

struct ObjStyle {
  bool objects = false;    // an "o geoset_N" line before each geoset
  bool y_up = false;       // positions and normals (x, y, z) as (x, z, -y)
  double scale = 1.0;      // positions multiplied by it, rounded to the nearest float
  bool materials = false;  // "mtllib" and "usemtl" lines, for an MTL beside the OBJ
};

// The style as a rerun compares it: "" for the plain OBJ, else the options
// that differ from it ("objects up=y scale=0.01"), each value exact.
std::string style_key(const ObjStyle& style);
