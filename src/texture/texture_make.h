// One texture made into the image that a material maps: a BLP or TGA file
// becomes a PNG, a PNG or JPEG file is copied as it is.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/file_calls.h"
#include "texture/texture_store.h"

enum class TextureKind {
  kBlp,
  kTga,
  kPng,
  kJpeg,
  kNotRead,     // a texture format this program does not read: BLP0, BLP2, DDS
  kNotTexture,  // no texture file at all
};

struct TextureSource {
  std::filesystem::path path;
  FileLook look;
  TextureKind kind = TextureKind::kNotTexture;
};

// Looks at a texture file found for a model: its identity, and its kind by
// its first bytes (a TGA, which has no mark of its own, by its name).
bool look_at_texture(const std::filesystem::path& path, TextureSource* source);

// The warning of a texture of a kind that is not read: "format not read" or
// "not a texture file"; "" for the kinds that are.
std::string kind_warning(TextureKind kind);

// The image's path for a texture's path: ".png" in place of its extension
// where the texture is converted; where it is copied, the path itself if its
// extension is the image's own, else ".png" or ".jpg" in its place.
std::string image_path(const std::string& relative, TextureKind kind);

// Makes the image `dest` (shown as `shown`) from the source, as an OBJ is
// written: under a temporary name, renamed once whole. A texture that cannot
// be read gives result->warning ("damaged (WHAT)", "format not read", "not a
// texture file", "too large (WxH)"); an image that cannot be written,
// result->failure.
void make_image(const TextureSource& source, const std::filesystem::path& dest,
                const std::string& shown, bool make_folders, TextureResult* result);

// The texture as a GLB embeds it: a BLP or a TGA (and a JPEG of four
// components) as the PNG make_image writes, a PNG with only the chunks of its
// pixels, any other JPEG as it is; *mime says which. False with the warning
// where it cannot be read, as make_image gives it.
bool embed_texture(const TextureSource& source, std::string* mime,
                   std::vector<unsigned char>* bytes, std::string* warning);
