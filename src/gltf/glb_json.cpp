#include "gltf/glb_json.h"

#include <nlohmann/json.hpp>

#include "common/utf8.h"
#include "gltf/glb_records.h"
#include "gltf/glb_skin.h"

namespace {

// Floats written as the shortest text that reads back to the same float.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

constexpr int kFloat = 5126, kUnsignedShort = 5123, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

std::uint64_t padded(std::uint64_t n) { return (n + 3) / 4 * 4; }

// A JSON array written an element at a time.
struct ArrayOut {
  const JsonPieces& put;
  bool first = true;
  ArrayOut(const JsonPieces& p, const char* name) : put(p) {
    put(std::string(",\"") + name + "\":[");
  }
  void add(const Json& element) {
    put((first ? "" : ",") + element.dump());
    first = false;
  }
  void end() { put("]"); }
};

// The four accessors of each mesh's own data, in the order it lies:
// positions, normals, texture coordinates, indices.
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

// A skinned mesh's joints and weights, in one view, a vertex's after
// another's: JOINTS_0, WEIGHTS_0 and, of eight joints, JOINTS_1, WEIGHTS_1.
int skin_accessors(const GlbSkeleton& s, const GlbGeoset& g) {
  return !has_skin(s) ? 0 : g.eight_joints ? 4 : 2;
}

Json skin_accessor(const GlbSkeleton& s, const GlbGeoset& g, int k, std::size_t view) {
  const bool wide = wide_joints(s);
  const std::uint64_t joints = wide ? 8 : 4;
  const bool weights = k % 2 == 1;
  constexpr int kUnsignedByte = 5121;
  return Json{{"bufferView", view},
              {"byteOffset", (k / 2) * (joints + 16) + (weights ? joints : 0)},
              {"componentType", weights ? kFloat
                                : wide  ? kUnsignedShort
                                        : kUnsignedByte},
              {"count", g.vertices},
              {"type", "VEC4"}};
}

std::uint64_t animation_bytes(const GlbSkeleton& s) {
  std::uint64_t floats = 0;
  for (const GlbAnimation& a : s.animations) {
    for (const GlbChannel& c : a.channels) floats += c.times.size() + c.values.size();
  }
  return 4 * floats;
}

std::uint64_t matrices_bytes(const GlbSkeleton& s) {
  return has_skin(s) ? 64 * (s.joints.size() + 1) : 0;
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

// The geosets' nodes, then the skeleton's joints and the model node.
void put_nodes(const GlbScan& scan, const GlbSkeleton& s, const JsonPieces& put) {
  const std::size_t geosets = scan.geosets.size();
  ArrayOut nodes(put, "nodes");
  std::size_t mesh = 0;
  for (std::size_t i = 0; i < geosets; ++i) {
    Json node = {{"name", "geoset_" + std::to_string(i + 1)}};
    if (has_mesh(scan.geosets[i])) node["mesh"] = mesh++;
    if (has_mesh(scan.geosets[i]) && has_skin(s)) node["skin"] = 0;
    nodes.add(node);
  }
  if (!has_skin(s)) {
    nodes.end();
    return;
  }
  const std::size_t joints = s.joints.size();
  // Each node's children found in one pass (the model node's last): looking
  // through every joint for each would take seconds for a model of 65,536.
  std::vector<std::vector<std::size_t>> children(joints + 1);
  for (std::size_t c = 0; c < joints; ++c) {
    const std::int32_t parent = s.joints[c].parent;
    children[parent < 0 ? joints : std::size_t(parent)].push_back(geosets + c);
  }
  for (std::size_t j = 0; j <= joints; ++j) {
    const bool model = j == joints;
    Json node = {{"name", utf8_name(model ? s.model_name : s.joints[j].name)}};
    if (!children[j].empty()) node["children"] = children[j];
    if (!model)
      node["translation"] = {s.joints[j].rest[0], s.joints[j].rest[1], s.joints[j].rest[2]};
    nodes.add(node);
  }
  nodes.end();
}

void put_meshes(const GlbScan& scan, const GlbContent& content,
                const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  ArrayOut out(put, "meshes");
  std::size_t accessor = 0;
  for (std::uint32_t m : meshes) {
    const GlbGeoset& g = scan.geosets[m];
    Json attributes = {
        {"POSITION", accessor}, {"NORMAL", accessor + 1}, {"TEXCOORD_0", accessor + 2}};
    const int skin = skin_accessors(content.skeleton, g);
    for (int k = 0; k < skin; ++k) {
      attributes[std::string(k % 2 ? "WEIGHTS_" : "JOINTS_") + std::to_string(k / 2)] =
          accessor + 4 + k;
    }
    Json p = {{"attributes", attributes}, {"indices", accessor + 3}};
    if (g.material > 0 && g.material <= content.materials.size()) p["material"] = g.material - 1;
    out.add(Json{{"name", "geoset_" + std::to_string(m + 1)}, {"primitives", Json::array({p})}});
    accessor += 4 + skin;
  }
  out.end();
}

void put_images(const GlbContent& content, std::size_t first_view, const JsonPieces& put) {
  const std::size_t n = content.images.size();
  ArrayOut images(put, "images");
  for (std::size_t i = 0; i < n; ++i) {
    const GlbImage& image = content.images[i];
    images.add(Json{
        {"bufferView", first_view + i}, {"mimeType", image.mime}, {"name", utf8_name(image.name)}});
  }
  images.end();
  ArrayOut textures(put, "textures");
  for (std::size_t i = 0; i < n; ++i) textures.add(Json{{"sampler", 0}, {"source", i}});
  textures.end();
  constexpr int kLinear = 9729, kRepeat = 10497;
  put(R"(,"samplers":[)" +
      Json{{"magFilter", kLinear}, {"minFilter", kLinear}, {"wrapS", kRepeat}, {"wrapT", kRepeat}}
          .dump() +
      "]");
}

// The views before the images: four a mesh (a fifth for a skinned one's
// joints and weights), the inverse bind matrices', the animations'.
std::size_t views_before_images(const GlbSkeleton& s, const std::vector<std::uint32_t>& meshes) {
  return meshes.size() * (has_skin(s) ? 5 : 4) + (has_skin(s) ? 1 : 0) +
         (s.animations.empty() ? 0 : 1);
}

// The bufferViews in the order their bytes lie: each mesh's, the inverse bind
// matrices, the animations, each image.
void put_views(const GlbScan& scan, const GlbContent& content,
               const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  const GlbSkeleton& s = content.skeleton;
  std::uint64_t offset = 0;
  ArrayOut views(put, "bufferViews");
  auto add = [&](std::uint64_t length, int target, std::size_t stride) {
    Json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
    if (stride > 0) view["byteStride"] = stride;
    if (target > 0) view["target"] = target;
    views.add(view);
    offset += padded(length);
  };
  for (std::uint32_t m : meshes) {
    const GlbGeoset& g = scan.geosets[m];
    for (int part = 0; part < 4; ++part) {
      add(part_bytes(g, part), part == 3 ? kElementArrayBuffer : kArrayBuffer, 0);
    }
    const std::size_t stride = skin_bytes(s, g);
    if (stride > 0) add(stride * g.vertices, kArrayBuffer, stride);
  }
  if (has_skin(s)) add(matrices_bytes(s), 0, 0);
  if (!s.animations.empty()) add(animation_bytes(s), 0, 0);
  for (const GlbImage& image : content.images) add(image.bytes.size(), 0, 0);
  views.end();
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
  const GlbSkeleton& s = content.skeleton;
  std::uint64_t length = 0;
  for (const GlbGeoset& g : scan.geosets) length += has_mesh(g) ? mesh_bytes(g, s) : 0;
  length += matrices_bytes(s) + animation_bytes(s);
  for (const GlbImage& image : content.images) length += padded(image.bytes.size());
  return length;
}

namespace {

// Every accessor, in the order of the views: each mesh's, the inverse bind
// matrices', then each channel's times and values.
void put_accessors(const GlbScan& scan, const GlbContent& content,
                   const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  const GlbSkeleton& s = content.skeleton;
  ArrayOut out(put, "accessors");
  std::size_t view = 0;
  for (std::uint32_t m : meshes) {
    const GlbGeoset& g = scan.geosets[m];
    for (int part = 0; part < 4; ++part) out.add(accessor(g, part, view++));
    const int skin = skin_accessors(s, g);
    for (int k = 0; k < skin; ++k) out.add(skin_accessor(s, g, k, view));
    if (skin > 0) ++view;
  }
  if (has_skin(s)) {
    out.add(Json{{"bufferView", view++},
                 {"componentType", kFloat},
                 {"count", s.joints.size() + 1},
                 {"type", "MAT4"}});
  }
  std::uint64_t offset = 0;
  for (const GlbAnimation& a : s.animations) {
    for (const GlbChannel& c : a.channels) {
      const std::size_t width = c.path == 1 ? 4 : 3;
      out.add(Json{{"bufferView", view},
                   {"byteOffset", offset},
                   {"componentType", kFloat},
                   {"count", c.times.size()},
                   {"type", "SCALAR"},
                   {"max", {c.times.back()}},
                   {"min", {c.times.front()}}});
      offset += 4 * c.times.size();
      out.add(Json{{"bufferView", view},
                   {"byteOffset", offset},
                   {"componentType", kFloat},
                   {"count", c.values.size() / width},
                   {"type", width == 4 ? "VEC4" : "VEC3"}});
      offset += 4 * c.values.size();
    }
  }
  out.end();
}

// The skin, and an animation per sequence: its samplers' accessors follow
// the meshes' and the matrices'.
void put_skin_and_animations(const GlbScan& scan, const GlbContent& content,
                             const std::vector<std::uint32_t>& meshes, const JsonPieces& put) {
  const GlbSkeleton& s = content.skeleton;
  std::size_t accessor = 0;
  for (std::uint32_t m : meshes) accessor += 4 + skin_accessors(s, scan.geosets[m]);
  const std::size_t first_joint = scan.geosets.size(), model = first_joint + s.joints.size();
  Json joints = Json::array();
  for (std::size_t j = 0; j <= s.joints.size(); ++j) joints.push_back(first_joint + j);
  put(R"(,"skins":[)" +
      Json{{"inverseBindMatrices", accessor++}, {"joints", joints}, {"skeleton", model}}.dump() +
      "]");
  if (s.animations.empty()) return;
  static const char* const paths[] = {"translation", "rotation", "scale"};
  ArrayOut out(put, "animations");
  for (const GlbAnimation& a : s.animations) {
    Json channels = Json::array(), samplers = Json::array();
    for (const GlbChannel& c : a.channels) {
      channels.push_back({{"sampler", samplers.size()},
                          {"target", {{"node", first_joint + c.node}, {"path", paths[c.path]}}}});
      samplers.push_back(
          {{"input", accessor}, {"interpolation", c.interpolation}, {"output", accessor + 1}});
      accessor += 2;
    }
    Json extras =
        a.global ? Json{{"global", true}, {"looping", true}}
                 : Json{{"looping", a.looping}, {"moveSpeed", a.move_speed}, {"rarity", a.rarity}};
    out.add(Json{{"channels", channels},
                 {"extras", extras},
                 {"name", utf8_name(a.name)},
                 {"samplers", samplers}});
  }
  out.end();
}

}  // namespace

void glb_json(const GlbScan& scan, const GlbContent& content, const JsonPieces& put) {
  put(R"({"asset":)" + Json{{"generator", content.generator}, {"version", "2.0"}}.dump());
  const GlbSkeleton& s = content.skeleton;
  const std::vector<std::uint32_t> meshes = meshes_of(scan);
  const std::size_t geosets = scan.geosets.size();
  const std::size_t roots = geosets + (has_skin(s) ? 1 : 0);
  put(R"(,"scene":0,"scenes":[{)");
  if (roots > 0) {
    put(R"("nodes":[)");
    for (std::size_t i = 0; i < geosets; ++i) put((i ? "," : "") + std::to_string(i));
    // The model node, after the joints.
    if (has_skin(s)) put((geosets ? "," : "") + std::to_string(geosets + s.joints.size()));
    put("]");
  }
  put("}]");
  if (roots > 0) put_nodes(scan, s, put);
  if (!meshes.empty()) put_meshes(scan, content, meshes, put);
  bool unlit = false;
  for (const PlannedMaterial& m : content.materials) unlit = unlit || m.unshaded;
  if (!content.materials.empty()) {
    ArrayOut out(put, "materials");
    for (std::size_t i = 0; i < content.materials.size(); ++i) {
      out.add(material(content.materials[i], i + 1, content));
    }
    out.end();
  }
  if (!content.images.empty()) put_images(content, views_before_images(s, meshes), put);
  if (!meshes.empty() || has_skin(s)) put_accessors(scan, content, meshes, put);
  if (has_skin(s)) put_skin_and_animations(scan, content, meshes, put);
  const std::uint64_t bin = glb_bin_length(scan, content);
  if (bin > 0) {
    put_views(scan, content, meshes, put);
    put(R"(,"buffers":[{"byteLength":)" + std::to_string(bin) + "}]");
  }
  if (unlit) put(R"(,"extensionsUsed":["KHR_materials_unlit"])");
  put("}");
}
