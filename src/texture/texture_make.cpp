#include "texture/texture_make.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/letter_case.h"
#include "common/output_file.h"
#include "image/blp_image.h"
#include "image/jpeg_image.h"
#include "image/png_chunks.h"
#include "image/png_write.h"
#include "image/tga_image.h"

namespace fs = std::filesystem;

namespace {

// A texture file larger than the largest image could be is not read.
constexpr std::uint64_t kMostTextureBytes =
    std::uint64_t(kMostImageSide) * kMostImageSide * 4 + (1 << 20);

bool name_ends_with(const fs::path& path, const char* ext) {
  return ends_ignoring_case(path.filename().u8string(), ext);
}

bool read_whole(const TextureSource& source, std::vector<unsigned char>* bytes) {
  std::ifstream in(long_path(source.path), std::ios::binary);
  bytes->resize(static_cast<std::size_t>(source.look.size));
  return in.read(reinterpret_cast<char*>(bytes->data()),
                 static_cast<std::streamsize>(bytes->size())) &&
         static_cast<std::size_t>(in.gcount()) == bytes->size();
}

// The texture's bytes, where it is of a kind that is read and not too large.
bool read_texture(const TextureSource& source, std::vector<unsigned char>* bytes,
                  std::string* warning) {
  if (source.kind == TextureKind::kNotRead || source.kind == TextureKind::kNotTexture) {
    *warning = kind_warning(source.kind);
    return false;
  }
  if (source.look.size > kMostTextureBytes) {
    *warning = "too large (" + std::to_string(source.look.size) + " bytes)";
    return false;
  }
  if (!read_whole(source, bytes)) {
    *warning = "damaged (cannot be read)";
    return false;
  }
  return true;
}

std::string fault_text(ImageFault fault, const std::string& what) {
  switch (fault) {
    case ImageFault::kNotRead:
      return "format not read";
    case ImageFault::kTooLarge:
      return "too large (" + what + ")";
    case ImageFault::kDamaged:
    case ImageFault::kNone:
      break;
  }
  return "damaged (" + what + ")";
}

// The texture decoded, or false with the warning.
bool decode(const TextureSource& source, const std::vector<unsigned char>& bytes, Image* image,
            std::string* warning) {
  ImageFault fault = ImageFault::kNone;
  std::string what;
  const bool ok = source.kind == TextureKind::kBlp
                      ? decode_blp(bytes.data(), bytes.size(), image, &fault, &what)
                      : decode_tga(bytes.data(), bytes.size(), image, &fault, &what);
  if (!ok) *warning = fault_text(fault, what);
  return ok;
}

void write_image(const TextureSource& source, const std::vector<unsigned char>& bytes,
                 const Image& image, OutputFile* file, std::string* err) {
  if (source.kind == TextureKind::kPng || source.kind == TextureKind::kJpeg) {
    const std::streamsize n = static_cast<std::streamsize>(bytes.size());
    if (file->sputn(reinterpret_cast<const char*>(bytes.data()), n) != n) *err = "write failed";
    return;
  }
  write_png(file, image, err);
}

}  // namespace

bool look_at_texture(const fs::path& path, TextureSource* source) {
  int code = 0;
  source->path = path;
  if (!g_file_calls.look(path, true, &source->look, &code)) return false;
  unsigned char head[8] = {};
  std::ifstream in(long_path(path), std::ios::binary);
  in.read(reinterpret_cast<char*>(head), sizeof head);
  static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const bool other_blp = std::memcmp(head, "BLP", 3) == 0 && head[3] >= '0' && head[3] <= '9';
  source->kind = std::memcmp(head, "BLP1", 4) == 0                       ? TextureKind::kBlp
                 : std::memcmp(head, png, 8) == 0                        ? TextureKind::kPng
                 : head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF ? TextureKind::kJpeg
                 : other_blp || std::memcmp(head, "DDS ", 4) == 0        ? TextureKind::kNotRead
                 : name_ends_with(path, ".tga")                          ? TextureKind::kTga
                                                                         : TextureKind::kNotTexture;
  return true;
}

std::string kind_warning(TextureKind kind) {
  if (kind == TextureKind::kNotRead) return "format not read";
  if (kind == TextureKind::kNotTexture) return "not a texture file";
  return "";
}

std::string image_path(const std::string& relative, TextureKind kind) {
  const fs::path name = fs::u8path(relative);
  // A copy keeps its name where that says what it is; no image ever takes a
  // name that a model or an OBJ could have.
  if (kind == TextureKind::kPng && name_ends_with(name, ".png")) return relative;
  if (kind == TextureKind::kJpeg &&
      (name_ends_with(name, ".jpg") || name_ends_with(name, ".jpeg"))) {
    return relative;
  }
  const std::size_t slash = relative.rfind('/');
  const std::size_t dot = relative.rfind('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_ext ? relative.substr(0, dot) : relative) +
         (kind == TextureKind::kJpeg ? ".jpg" : ".png");
}

void make_image(const TextureSource& source, const fs::path& dest, const std::string& shown,
                bool make_folders, TextureResult* result) {
  std::vector<unsigned char> bytes;
  if (!read_texture(source, &bytes, &result->warning)) return;
  Image image;
  const bool decoded = source.kind == TextureKind::kPng || source.kind == TextureKind::kJpeg;
  if (!decoded && !decode(source, bytes, &image, &result->warning)) return;
  OutputFile file;
  file.binary = true;
  std::string err;
  if (open_output(&file, dest, &source.look, make_folders, &err)) {
    write_image(source, bytes, image, &file, &err);
    if (err.empty()) commit_output(&file, &err);
  }
  if (err.empty()) return;
  result->failure = {shown, file.error.empty() ? err : file.error, file.file_system_fault};
}

namespace {

bool png_bytes(const Image& image, std::vector<unsigned char>* bytes, std::string* warning) {
  std::stringbuf out;
  std::string err;
  if (!write_png(&out, image, &err)) {
    *warning = "damaged (" + err + ")";
    return false;
  }
  const std::string png = out.str();
  bytes->assign(png.begin(), png.end());
  return true;
}

// A JPEG as it is, unless it has four components: those decoded to a PNG.
bool embed_jpeg(std::vector<unsigned char>* bytes, std::string* mime, std::string* warning) {
  int components = 0;
  std::string what;
  if (!jpeg_components(bytes->data(), bytes->size(), &components, &what)) {
    *warning = "damaged (" + what + ")";
    return false;
  }
  if (components == 1 || components == 3) {
    *mime = "image/jpeg";
    return true;
  }
  Image image;
  ImageFault fault = ImageFault::kNotRead;
  if (components != 4 || !decode_cmyk_jpeg(bytes->data(), bytes->size(), &image, &fault, &what)) {
    *warning = fault_text(fault, what);
    return false;
  }
  *mime = "image/png";
  return png_bytes(image, bytes, warning);
}

}  // namespace

bool embed_texture(const TextureSource& source, std::string* mime,
                   std::vector<unsigned char>* bytes, std::string* warning) {
  std::vector<unsigned char> read;
  if (!read_texture(source, &read, warning)) return false;
  if (source.kind == TextureKind::kJpeg) {
    *bytes = std::move(read);
    return embed_jpeg(bytes, mime, warning);
  }
  *mime = "image/png";
  std::string what;
  if (source.kind == TextureKind::kPng) {
    if (keep_pixel_chunks(read.data(), read.size(), bytes, &what)) return true;
    *warning = "damaged (" + what + ")";
    return false;
  }
  Image image;
  return decode(source, read, &image, warning) && png_bytes(image, bytes, warning);
}
