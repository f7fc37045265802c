// How each material of a model looks, decided once from its layers and the
// texture lookup: what every writer (the MTL, the GLB) reads, and nothing of
// any one writer.
#pragma once

#include <cstdint>

// How a material's image uses its alpha: by its first layer's filter mode,
// where that layer is the one whose texture it shows.
enum class AlphaUse : unsigned char {
  kOpaque,
  kMask,   // transparent (filter mode 1): each pixel shown or not
  kBlend,  // blended (2)
  kAdd,    // additive or add-alpha (3, 4)
};

constexpr std::uint32_t kNoTexture = 0xFFFFFFFFu;

struct PlannedMaterial {
  std::uint32_t texture = kNoTexture;  // the model's texture it shows: its first layer's file
  AlphaUse alpha = AlphaUse::kOpaque;
  bool two_sided = false;         // of the layer it shows, or its first
  bool unshaded = false;          // likewise
  bool team_colour = false;       // no file shown, and a layer of the team colour or glow
  std::uint32_t filter_mode = 0;  // of the layer it shows, or its first
};
