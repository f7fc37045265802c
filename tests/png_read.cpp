#include "png_read.h"

#include <fstream>
#include <iterator>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

Pixels read_png(const std::string& file, bool* alpha) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  static const char signature[] = "\x89PNG\r\n\x1a\n";
  Pixels p;
  if (bytes.compare(0, 8, signature) != 0) return p;
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels =
      stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                            static_cast<int>(bytes.size()), &width, &height, &channels, 4);
  if (pixels == nullptr) return p;
  if (alpha) *alpha = channels == 4 || channels == 2;
  p.width = static_cast<std::uint32_t>(width);
  p.height = static_cast<std::uint32_t>(height);
  p.rgba.assign(pixels, pixels + std::size_t(width) * height * 4);
  stbi_image_free(pixels);
  return p;
}
