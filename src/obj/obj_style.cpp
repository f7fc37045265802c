#include "obj/obj_style.h"

#include <cstdio>

std::string style_key(const Settings& style) {
  std::string key = style.objects ? "objects" : "";
  if (style.y_up) key += key.empty() ? "up=y" : " up=y";
  if (style.scale != 1.0) {
    char scale[40];
    std::snprintf(scale, sizeof scale, "%sscale=%.17g", key.empty() ? "" : " ", style.scale);
    key += scale;
  }
  if (style.materials) key += key.empty() ? "materials" : " materials";
  return key;
}
