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

std::string mtl_file_text(const std::vector<PlannedMaterial>& plan,
                          const std::vector<std::string>& maps, bool none_used) {
  std::string text;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const PlannedMaterial& p = plan[i];
    MtlMaterial m;
    m.name = "material_" + std::to_string(i + 1);
    m.team_colour = p.team_colour;
    if (p.texture < maps.size()) m.map = maps[p.texture];
    // An image's alpha is the material's where its first layer cuts out or
    // blends; additive layers add their colour, not their alpha.
    m.map_d = p.alpha == AlphaUse::kMask || p.alpha == AlphaUse::kBlend;
    text += (text.empty() ? "" : "\n") + mtl_text(m);
  }
  if (none_used) {
    MtlMaterial none;
    none.name = "none";
    text += (text.empty() ? "" : "\n") + mtl_text(none);
  }
  return text;
}

std::string mtl_name_for(const std::string& obj) {
  if (ends_ignoring_case(obj, ".obj")) return obj.substr(0, obj.size() - 4) + ".mtl";
  return obj + ".mtl";
}
