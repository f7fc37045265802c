#include "gltf/glb_write.h"

#include <algorithm>

#include "common/little_endian.h"
#include "gltf/glb_json.h"

namespace {

std::uint64_t padded(std::uint64_t n) { return (n + 3) / 4 * 4; }

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
  unsigned char head[20] = {'g', 'l', 'T', 'F', 0, 0, 0,   0,   0,   0,
                            0,   0,   0,   0,   0, 0, 'J', 'S', 'O', 'N'};
  put_le(head + 4, 2);
  put_le(head + 8, static_cast<std::uint32_t>(layout.total));
  put_le(head + 12, static_cast<std::uint32_t>(layout.json));
  if (!put_all(out, reinterpret_cast<const char*>(head), sizeof head, err)) return false;
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
  unsigned char bin[8] = {0, 0, 0, 0, 'B', 'I', 'N', 0};
  put_le(bin, static_cast<std::uint32_t>(layout.bin));
  return put_all(out, reinterpret_cast<const char*>(bin), sizeof bin, err);
}

namespace {

// Floats little-endian, a block at a time.
bool put_floats(std::streambuf* out, const float* v, std::size_t n, std::string* err) {
  unsigned char block[4096];
  for (std::size_t done = 0; done < n;) {
    const std::size_t k = std::min(n - done, sizeof block / 4);
    for (std::size_t i = 0; i < k; ++i) put_le_f32(block + 4 * i, v[done + i]);
    if (!put_all(out, reinterpret_cast<const char*>(block), 4 * k, err)) return false;
    done += k;
  }
  return true;
}

}  // namespace

bool write_glb_skeleton(std::streambuf* out, const GlbContent& content, std::string* err) {
  const GlbSkeleton& s = content.skeleton;
  if (!has_skin(s)) return true;
  // Each joint's inverse bind matrix, column by column: the translation by
  // minus its pivot; the model node's, the identity.
  for (std::size_t j = 0; j <= s.joints.size(); ++j) {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int k = 0; k < 3 && j < s.joints.size(); ++k) m[12 + k] = -s.joints[j].pivot[k];
    if (!put_floats(out, m, 16, err)) return false;
  }
  // Each channel's times and values, as they are held: no second copy.
  for (const GlbAnimation& a : s.animations) {
    for (const GlbChannel& c : a.channels) {
      if (!put_floats(out, c.times.data(), c.times.size(), err) ||
          !put_floats(out, c.values.data(), c.values.size(), err)) {
        return false;
      }
    }
  }
  return true;
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
