#include "obj/mtl_text.h"

#include "common/letter_case.h"

std::string mtl_text(const MtlMaterial& material) {
  std::string text = "newmtl " + material.name + "\n";
  text += "Ka 0.000000 0.000000 0.000000\n";
  text +=
      material.team_colour ? "Kd 1.000000 0.011765 0.011765\n" : "Kd 1.000000 1.000000 1.000000\n";
  text += "Ks 0.000000 0.000000 0.000000\n";
  text += "d 1.000000\n";
  text += "illum 1\n";
  if (!material.map.empty()) text += "map_Kd " + material.map + "\n";
  if (!material.map.empty() && material.map_d) text += "map_d " + material.map + "\n";
  return text;
}

std::string mtl_name_for(const std::string& obj) {
  if (ends_ignoring_case(obj, ".obj")) return obj.substr(0, obj.size() - 4) + ".mtl";
  return obj + ".mtl";
}
