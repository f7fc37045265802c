#include "gltf/glb_write.h"

#include <nlohmann/json.hpp>

#include "common/utf8.h"
#include "gltf/glb_records.h"

namespace {

// Floats written as the shortest text that reads back to the same float.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

constexpr int kFloat = 5126, kUnsignedShort = 5123, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

struct Builder {
  Json views = Json::array();
  Json accessors = Json::array();
  std::uint64_t offset = 0;
};

std::uint64_t padded(std::uint64_t n) { return (n + 3) / 4 * 4; }

std::size_t add_view(Builder* b, std::uint64_t length, int target) {
  Json view = {{"buffer", 0}, {"byteOffset", b->offset}, {"byteLength", length}};
  if (target != 0) view["target"] = target;
  b->views.push_back(view);
  b->offset += padded(length);
  return b->views.size() - 1;
}

std::size_t add_accessor(Builder* b, std::uint64_t length, int target, int component,
                         std::uint64_t count, const char* type) {
  const std::size_t view = add_view(b, length, target);
  b->accessors.push_back(
      {{"bufferView", view}, {"componentType", component}, {"count", count}, {"type", type}});
  return b->accessors.size() - 1;
}

Json primitive(Builder* b, const GlbGeoset& g, const GlbContent& content) {
  const std::uint64_t v = g.vertices;
  const std::size_t position = add_accessor(b, v * 12, kArrayBuffer, kFloat, v, "VEC3");
  b->accessors[position]["min"] = {g.min[0], g.min[1], g.min[2]};
  b->accessors[position]["max"] = {g.max[0], g.max[1], g.max[2]};
  const std::size_t normal = add_accessor(b, v * 12, kArrayBuffer, kFloat, v, "VEC3");
  const std::size_t tex = add_accessor(b, v * 8, kArrayBuffer, kFloat, v, "VEC2");
  const std::uint64_t indices = g.triangles * 3;
  const std::size_t index = add_accessor(b, indices * (g.wide ? 4 : 2), kElementArrayBuffer,
                                         g.wide ? kUnsignedInt : kUnsignedShort, indices, "SCALAR");
  Json p = {{"attributes", {{"POSITION", position}, {"NORMAL", normal}, {"TEXCOORD_0", tex}}},
            {"indices", index}};
  if (g.material > 0 && g.material <= content.materials.size()) p["material"] = g.material - 1;
  return p;
}

Json material(const PlannedMaterial& m, std::size_t number, const GlbContent& content,
              bool* unlit) {
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
  if (m.unshaded) {
    out["extensions"] = {{"KHR_materials_unlit", Json::object()}};
    *unlit = true;
  }
  return out;
}

void add_images(Builder* b, const GlbContent& content, Json* root) {
  if (content.images.empty()) return;
  Json images = Json::array(), textures = Json::array();
  for (std::size_t i = 0; i < content.images.size(); ++i) {
    const GlbImage& image = content.images[i];
    const std::size_t view = add_view(b, image.bytes.size(), 0);
    images.push_back(
        {{"bufferView", view}, {"mimeType", image.mime}, {"name", utf8_name(image.name)}});
    textures.push_back({{"sampler", 0}, {"source", i}});
  }
  (*root)["images"] = images;
  (*root)["textures"] = textures;
  constexpr int kLinear = 9729, kRepeat = 10497;
  (*root)["samplers"] = Json::array(
      {{{"magFilter", kLinear}, {"minFilter", kLinear}, {"wrapS", kRepeat}, {"wrapT", kRepeat}}});
}

Json nodes_and_meshes(Builder* b, const GlbScan& scan, const GlbContent& content, Json* root) {
  Json nodes = Json::array(), meshes = Json::array(), scene_nodes = Json::array();
  for (std::size_t i = 0; i < scan.geosets.size(); ++i) {
    const GlbGeoset& g = scan.geosets[i];
    const std::string name = "geoset_" + std::to_string(i + 1);
    Json node = {{"name", name}};
    if (has_mesh(g)) {
      node["mesh"] = meshes.size();
      meshes.push_back({{"name", name}, {"primitives", Json::array({primitive(b, g, content)})}});
    }
    scene_nodes.push_back(nodes.size());
    nodes.push_back(node);
  }
  if (!nodes.empty()) (*root)["nodes"] = nodes;
  if (!meshes.empty()) (*root)["meshes"] = meshes;
  return scene_nodes;
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

bool lay_out_glb(const GlbScan& scan, const GlbContent& content, GlbLayout* layout,
                 std::string* err) {
  Json root = {{"asset", {{"generator", content.generator}, {"version", "2.0"}}}};
  Builder b;
  const Json scene_nodes = nodes_and_meshes(&b, scan, content, &root);
  bool unlit = false;
  Json materials = Json::array();
  for (std::size_t i = 0; i < content.materials.size(); ++i) {
    materials.push_back(material(content.materials[i], i + 1, content, &unlit));
  }
  if (!materials.empty()) root["materials"] = materials;
  add_images(&b, content, &root);
  if (!b.accessors.empty()) root["accessors"] = b.accessors;
  if (!b.views.empty()) root["bufferViews"] = b.views;
  if (b.offset > 0) root["buffers"] = Json::array({{{"byteLength", b.offset}}});
  if (unlit) root["extensionsUsed"] = Json::array({"KHR_materials_unlit"});
  Json scene = Json::object();
  if (!scene_nodes.empty()) scene["nodes"] = scene_nodes;
  root["scene"] = 0;
  root["scenes"] = Json::array({scene});
  layout->json = root.dump();
  layout->json.resize(padded(layout->json.size()), ' ');
  layout->bin = b.offset;
  layout->total = 12 + 8 + layout->json.size() + (b.offset > 0 ? 8 + b.offset : 0);
  if (layout->total > 0xFFFFFFFFu) {
    *err = "its GLB would pass 4 GiB (" + std::to_string(layout->total) + " bytes)";
    return false;
  }
  return true;
}

namespace {

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

bool write_glb_start(std::streambuf* out, const GlbLayout& layout, std::string* err) {
  std::string head = "glTF";
  put_u32(&head, 2);
  put_u32(&head, layout.total);
  put_u32(&head, layout.json.size());
  head += "JSON";
  if (!put_all(out, head.data(), head.size(), err) ||
      !put_all(out, layout.json.data(), layout.json.size(), err)) {
    return false;
  }
  if (layout.bin == 0) return true;
  std::string bin;
  put_u32(&bin, layout.bin);
  bin += std::string("BIN\0", 4);
  return put_all(out, bin.data(), bin.size(), err);
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
