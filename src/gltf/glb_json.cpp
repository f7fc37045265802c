#include "gltf/glb_json.h"

#include <nlohmann/json.hpp>

#include "common/utf8.h"
#include "gltf/glb_records.h"

namespace {

// Floats written as the shortest text that reads back to the same float.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

constexpr int kFloat = 5126, kUnsignedShort = 5123, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

std::uint64_t padded(std::uint64_t n) { return (n + 3) / 4 * 4; }

// An array of `count` elements, each made by `element(i)`: "name":[...].
template <class Element>
void put_array(const JsonPieces& put, const char* name, std::size_t count, Element element) {
  put(std::string(",\"") + name + "\":[");
  for (std::size_t i = 0; i < count; ++i) put((i ? "," : "") + element(i).dump());
  put("]");
}

// The four accessors of each mesh, in the order its data lies: positions,
// normals, texture coordinates, indices; accessor k views bufferView k.
Json accessor(const GlbGeoset& g, int part, std::size_t view) {
  const std::uint64_t v = g.vertices, indices = std::uint64_t(g.triangles) * 3;
  const int component = part < 3 ? kFloat : g.wide ? kUnsignedInt : kUnsignedShort;
  const char* type = part == 2 ? "VEC2" : part == 3 ? "SCALAR" : "VEC3";
  Json a = {{"bufferView", view},
            {"componentType", component},
            {"count", part < 3 ? v : indices},
            {"type", type}};
  if (part == 0) {
    a["min"] = {g.min[0], g.min[1], g.min[2]};
    a["max"] = {g.max[0], g.max[1], g.max[2]};
  }
  return a;
}

std::uint64_t part_bytes(const GlbGeoset& g, int part) {
  const std::uint64_t v = g.vertices;
  return part == 0 || part == 1 ? v * 12
         : part == 2            ? v * 8
                                : std::uint64_t(g.triangles) * 3 * (g.wide ? 4 : 2);
}

Json material(const PlannedMaterial& m, std::size_t number, const GlbContent& content) {
  Json pbr = {{"baseColorFactor", {1.0f, 1.0f, 1.0f, 1.0f}}};
  if (m.team_colour) pbr["baseColorFactor"] = {1.0f, 0.011765f, 0.011765f, 1.0f};
  if (m.texture < content.image_of.size() && content.image_of[m.texture] >= 0) {
    pbr["baseColorTexture"] = {{"index", content.image_of[m.texture]}};
  }
  pbr["metallicFactor"] = 0.0f;
  pbr["roughnessFactor"] = 1.0f;
  Json out = {{"name", "material_" + std::to_string(number)}, {"pbrMetallicRoughness", pbr}};
  if (m.alpha == AlphaUse::kMask) out["alphaMode"] = "MASK";
  if (m.alpha == AlphaUse::kBlend || m.alpha == AlphaUse::kAdd) out["alphaMode"] = "BLEND";
  if (m.two_sided) out["doubleSided"] = true;
  if (m.unshaded) out["extensions"] = {{"KHR_materials_unlit", Json::object()}};
  return out;
}

// Each mesh's geoset, and the count of them.
std::vector<std::uint32_t> meshes_of(const GlbScan& scan) {
  std::vector<std::uint32_t> meshes;
  for (std::size_t i = 0; i < scan.geosets.size(); ++i) {
    if (has_mesh(scan.geosets[i])) meshes.push_back(static_cast<std::uint32_t>(i));
  }
  return meshes;
}

void put_nodes_and_meshes(const GlbScan& scan, const GlbContent& content,
                          const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  const std::size_t geosets = scan.geosets.size();
  // The mesh of each geoset, counted as the nodes are made in order.
  std::size_t mesh = 0;
  put_array(put, "nodes", geosets, [&](std::size_t i) {
    Json node = {{"name", "geoset_" + std::to_string(i + 1)}};
    if (has_mesh(scan.geosets[i])) node["mesh"] = mesh++;
    return node;
  });
  if (meshes.empty()) return;
  put_array(put, "meshes", meshes.size(), [&](std::size_t m) {
    const GlbGeoset& g = scan.geosets[meshes[m]];
    Json p = {
        {"attributes", {{"POSITION", 4 * m}, {"NORMAL", 4 * m + 1}, {"TEXCOORD_0", 4 * m + 2}}},
        {"indices", 4 * m + 3}};
    if (g.material > 0 && g.material <= content.materials.size()) p["material"] = g.material - 1;
    return Json{{"name", "geoset_" + std::to_string(meshes[m] + 1)},
                {"primitives", Json::array({p})}};
  });
}

void put_images(const GlbContent& content, std::size_t first_view, const JsonPieces& put) {
  const std::size_t n = content.images.size();
  put_array(put, "images", n, [&](std::size_t i) {
    const GlbImage& image = content.images[i];
    return Json{
        {"bufferView", first_view + i}, {"mimeType", image.mime}, {"name", utf8_name(image.name)}};
  });
  put_array(put, "textures", n, [](std::size_t i) { return Json{{"sampler", 0}, {"source", i}}; });
  constexpr int kLinear = 9729, kRepeat = 10497;
  put(R"(,"samplers":[)" +
      Json{{"magFilter", kLinear}, {"minFilter", kLinear}, {"wrapS", kRepeat}, {"wrapT", kRepeat}}
          .dump() +
      "]");
}

// The bufferViews: four a mesh, then one an image, one after another.
void put_views(const GlbScan& scan, const GlbContent& content,
               const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  std::uint64_t offset = 0;
  const std::size_t parts = 4 * meshes.size();
  put_array(put, "bufferViews", parts + content.images.size(), [&](std::size_t k) {
    const bool image = k >= parts;
    const std::uint64_t length = image ? content.images[k - parts].bytes.size()
                                       : part_bytes(scan.geosets[meshes[k / 4]], k % 4);
    Json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    if (!image) view["target"] = k % 4 == 3 ? kElementArrayBuffer : kArrayBuffer;
    offset += padded(length);
    return view;
  });
}

}  // namespace

std::string utf8_name(const std::string& bytes) {
  if (valid_utf8(bytes)) return bytes;
  std::string out;
  for (const char c : bytes) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::uint64_t glb_bin_length(const GlbScan& scan, const GlbContent& content) {
  std::uint64_t length = 0;
  for (const GlbGeoset& g : scan.geosets) length += has_mesh(g) ? mesh_bytes(g) : 0;
  for (const GlbImage& image : content.images) length += padded(image.bytes.size());
  return length;
}

void glb_json(const GlbScan& scan, const GlbContent& content, const JsonPieces& put) {
  put(R"({"asset":)" + Json{{"generator", content.generator}, {"version", "2.0"}}.dump());
  const std::vector<std::uint32_t> meshes = meshes_of(scan);
  const std::size_t geosets = scan.geosets.size();
  put(R"(,"scene":0,"scenes":[{)");
  if (geosets > 0) {
    put(R"("nodes":[)");
    for (std::size_t i = 0; i < geosets; ++i) put((i ? "," : "") + std::to_string(i));
    put("]");
  }
  put("}]");
  if (geosets > 0) put_nodes_and_meshes(scan, content, meshes, put);
  bool unlit = false;
  for (const PlannedMaterial& m : content.materials) unlit = unlit || m.unshaded;
  if (!content.materials.empty()) {
    put_array(put, "materials", content.materials.size(),
              [&](std::size_t i) { return material(content.materials[i], i + 1, content); });
  }
  if (!content.images.empty()) put_images(content, 4 * meshes.size(), put);
  if (!meshes.empty()) {
    put_array(put, "accessors", 4 * meshes.size(), [&](std::size_t k) {
      return accessor(scan.geosets[meshes[k / 4]], static_cast<int>(k % 4), k);
    });
  }
  const std::uint64_t bin = glb_bin_length(scan, content);
  if (bin > 0) {
    put_views(scan, content, meshes, put);
    put(R"(,"buffers":[{"byteLength":)" + std::to_string(bin) + "}]");
  }
  if (unlit) put(R"(,"extensionsUsed":["KHR_materials_unlit"])");
  put("}");
}
