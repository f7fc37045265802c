#include "gltf/glb_write.h"

#include <cstring>

#include "gltf/glb_json.h"

namespace {

std::uint64_t padded(std::uint64_t n) { return (n + 3) / 4 * 4; }

void put_u32(std::string* out, std::uint64_t v) {
  for (int k = 0; k < 4; ++k) *out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

bool put_all(std::streambuf* out, const char* bytes, std::size_t n, std::string* err) {
  if (out->sputn(bytes, static_cast<std::streamsize>(n)) == static_cast<std::streamsize>(n)) {
    return true;
  }
  *err = "write failed";
  return false;
}

}  // namespace

bool lay_out_glb(const GlbScan& scan, const GlbContent& content, GlbLayout* layout,
                 std::string* err) {
  std::uint64_t json = 0;
  glb_json(scan, content, [&](const std::string& piece) { json += piece.size(); });
  layout->json = padded(json);
  layout->bin = glb_bin_length(scan, content);
  layout->total = 12 + 8 + layout->json + (layout->bin > 0 ? 8 + layout->bin : 0);
  if (layout->total > 0xFFFFFFFFu) {
    *err = "its GLB would pass 4 GiB (" + std::to_string(layout->total) + " bytes)";
    return false;
  }
  return true;
}

bool write_glb_start(std::streambuf* out, const GlbScan& scan, const GlbContent& content,
                     const GlbLayout& layout, std::string* err) {
  std::string head = "glTF";
  put_u32(&head, 2);
  put_u32(&head, layout.total);
  put_u32(&head, layout.json);
  head += "JSON";
  if (!put_all(out, head.data(), head.size(), err)) return false;
  // The JSON again, as it was counted, in blocks.
  std::string block;
  std::uint64_t length = 0;
  bool ok = true;
  glb_json(scan, content, [&](const std::string& piece) {
    block += piece;
    length += piece.size();
    if (block.size() >= (1u << 16) && ok) ok = put_all(out, block.data(), block.size(), err);
    if (block.size() >= (1u << 16)) block.clear();
  });
  block.append(layout.json - length, ' ');
  if (!ok || !put_all(out, block.data(), block.size(), err)) return false;
  if (layout.bin == 0) return true;
  std::string bin;
  put_u32(&bin, layout.bin);
  bin += std::string("BIN\0", 4);
  return put_all(out, bin.data(), bin.size(), err);
}

namespace {

void put_floats(std::string* out, const float* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, &v[i], 4);
    put_u32(out, bits);
  }
}

}  // namespace

bool write_glb_skeleton(std::streambuf* out, const GlbContent& content, std::string* err) {
  const GlbSkeleton& s = content.skeleton;
  if (!has_skin(s)) return true;
  // Each joint's inverse bind matrix, column by column: the translation by
  // minus its pivot; the model node's, the identity.
  std::string bytes;
  for (std::size_t j = 0; j <= s.joints.size(); ++j) {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int k = 0; k < 3 && j < s.joints.size(); ++k) m[12 + k] = -s.joints[j].pivot[k];
    put_floats(&bytes, m, 16);
  }
  for (const GlbAnimation& a : s.animations) {
    for (const GlbChannel& c : a.channels) {
      put_floats(&bytes, c.times.data(), c.times.size());
      put_floats(&bytes, c.values.data(), c.values.size());
    }
  }
  return put_all(out, bytes.data(), bytes.size(), err);
}

bool write_glb_images(std::streambuf* out, const GlbContent& content, std::string* err) {
  static const char zeros[3] = {0, 0, 0};
  for (const GlbImage& image : content.images) {
    const std::size_t n = image.bytes.size();
    if (!put_all(out, reinterpret_cast<const char*>(image.bytes.data()), n, err) ||
        !put_all(out, zeros, padded(n) - n, err)) {
      return false;
    }
  }
  return true;
}
