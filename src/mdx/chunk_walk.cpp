#include "mdx/chunk_walk.h"

#include <algorithm>
#include <cstring>

#include "common/little_endian.h"
#include "mdx/model_span.h"

namespace {

// Far more than any model holds; a file that claims more is read no further,
// so that what is kept stays small whatever the file says.
constexpr std::size_t kMostEntries = std::size_t(1) << 16;
constexpr std::uint64_t kTextureEntry = 268;
constexpr std::uint64_t kTexturePath = 260;
constexpr std::uint64_t kShaderName = 80;

bool read_layer(Span& material, ModelChunks* chunks) {
  Span layer{material.file, 0, 0};
  if (!entry_span(material, 28, &layer)) return false;
  MaterialLayer l;
  if (!read_u32(layer, &l.filter_mode) || !read_u32(layer, &l.shading) ||
      !read_u32(layer, &l.texture_id) || chunks->layers.size() >= kMostEntries) {
    return false;
  }
  chunks->layers.push_back(l);
  return true;
}

bool read_materials(Span body, ModelChunks* chunks) {
  const std::uint64_t header = 16 + (chunks->version >= 900 ? kShaderName : 0);
  while (body.at < body.end) {
    Span material{body.file, 0, 0};
    std::uint32_t count;
    if (!entry_span(body, header, &material) || !skip(material, 8) ||
        (chunks->version >= 900 && !skip(material, kShaderName)) || !read_tag(material, "LAYS") ||
        !read_u32(material, &count) || chunks->materials.size() >= kMostEntries) {
      return false;
    }
    ModelMaterial m;
    m.first_layer = static_cast<std::uint32_t>(chunks->layers.size());
    for (m.layer_count = 0; m.layer_count < count; ++m.layer_count) {
      if (!read_layer(material, chunks)) return false;
    }
    chunks->materials.push_back(m);
  }
  return true;
}

bool read_textures(Span body, ModelChunks* chunks) {
  if ((body.end - body.at) % kTextureEntry != 0) return false;
  while (body.at < body.end) {
    if (chunks->textures.size() >= kMostEntries) return false;
    unsigned char b[kTextureEntry];
    if (!read_span(body, b, sizeof b)) return false;
    ModelTexture t;
    t.replaceable_id = le_u32(b);
    t.path = fixed_name(b + 4, kTexturePath);
    chunks->textures.push_back(std::move(t));
  }
  return true;
}

// The blocks before a geoset's material: a tag, a count and that many records
// of a size each.
bool skip_geoset_blocks(Span& geoset, GeosetEntry* entry) {
  static const struct {
    const char* tag;
    std::uint64_t size;
  } blocks[] = {{"VRTX", 12}, {"NRMS", 12}, {"PTYP", 4}, {"PCNT", 4},
                {"PVTX", 2},  {"GNDX", 1},  {"MTGC", 4}, {"MATS", 4}};
  EntryBlock* kept[] = {nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        nullptr,
                        &entry->vertex_groups,
                        &entry->group_sizes,
                        &entry->group_nodes};
  for (std::size_t i = 0; i < 8; ++i) {
    std::uint32_t count;
    if (!read_tag(geoset, blocks[i].tag) || !read_u32(geoset, &count)) return false;
    if (kept[i]) *kept[i] = EntryBlock{geoset.at, count};
    if (!skip(geoset, count * blocks[i].size)) return false;
  }
  return true;
}

bool read_geosets(Span body, ModelChunks* chunks) {
  while (body.at < body.end) {
    GeosetEntry entry;
    entry.begin = body.at;
    Span geoset{body.file, 0, 0};
    if (!entry_span(body, 4, &geoset) || !skip_geoset_blocks(geoset, &entry) ||
        !read_u32(geoset, &entry.material_id) || chunks->geosets.size() >= kMostEntries) {
      return false;
    }
    entry.end = body.at;
    chunks->geosets.push_back(entry);
  }
  return true;
}

bool is_node_chunk(const char* tag) {
  for (const char* t : {"BONE", "HELP", "ATCH", "PIVT", "SEQS", "GLBS"}) {
    if (std::memcmp(tag, t, 4) == 0) return true;
  }
  return false;
}

// One chunk's body; false where it does not fit the layout of its version.
bool read_chunk(const char* tag, Span body, ModelChunks* chunks) {
  if (is_node_chunk(tag) && chunks->nodes.size() < kMostEntries) {
    ChunkSpan span;
    std::memcpy(span.tag, tag, 4);
    span.begin = body.at;
    span.end = body.end;
    chunks->nodes.push_back(span);
    return true;
  }
  if (std::memcmp(tag, "VERS", 4) == 0) return read_u32(body, &chunks->version);
  if (std::memcmp(tag, "MTLS", 4) == 0) return read_materials(body, chunks);
  if (std::memcmp(tag, "TEXS", 4) == 0) return read_textures(body, chunks);
  if (std::memcmp(tag, "GEOS", 4) == 0) return read_geosets(body, chunks);
  return true;
}

void forget_materials(ModelChunks* chunks, const char* tag, std::uint64_t at) {
  chunks->unfit = "the " + std::string(tag, 4) + " chunk at offset " + std::to_string(at) +
                  " does not fit the layout of version " + std::to_string(chunks->version);
  chunks->materials.clear();
  chunks->layers.clear();
  chunks->textures.clear();
  chunks->geosets.clear();
}

}  // namespace

bool walk_chunks(ModelSource& src, ModelChunks* chunks, std::string* err) {
  *chunks = ModelChunks();
  const std::uint64_t size = source_size(src);
  // Headers a few bytes each, far apart in a large model: a page for each,
  // and the window whole again for the geoset walk.
  struct ReadAhead {
    ModelSource& src;
    ~ReadAhead() { src.read_ahead = 0; }
  } whole_again{src};
  src.read_ahead = 4096;
  char tag[4];
  seek_to(src, 0);
  chunks->chunked = read_bytes(src, tag, 4) && std::memcmp(tag, "MDLX", 4) == 0;
  for (std::uint64_t at = 4; chunks->chunked && at < size && !io_failed(src);) {
    unsigned char header[8];
    seek_to(src, at);
    if (!read_bytes(src, header, 8)) {
      chunks->cut = "file ends inside a chunk header at offset " + std::to_string(at);
      break;
    }
    std::memcpy(tag, header, 4);
    const std::uint64_t body = at + 8, end = body + le_u32(header + 4);
    if (end > size) {
      chunks->cut =
          "file ends inside the " + std::string(tag, 4) + " chunk at offset " + std::to_string(at);
      break;
    }
    if (chunks->unfit.empty() && !read_chunk(tag, Span{&src, body, end}, chunks) &&
        !io_failed(src)) {
      forget_materials(chunks, tag, at);
    }
    at = end;
  }
  if (io_failed(src)) {
    *err = "read failed near offset " + std::to_string(tell(src));
    return false;
  }
  return true;
}

const GeosetEntry* entry_at(const ModelChunks& chunks, std::uint64_t vertex_tag) {
  // The entries lie in file order, one after another.
  auto after =
      std::upper_bound(chunks.geosets.begin(), chunks.geosets.end(), vertex_tag,
                       [](std::uint64_t at, const GeosetEntry& g) { return at < g.begin; });
  if (after == chunks.geosets.begin() || vertex_tag >= (after - 1)->end) return nullptr;
  return &*(after - 1);
}

std::uint32_t material_at(const ModelChunks& chunks, std::uint64_t vertex_tag) {
  const GeosetEntry* g = entry_at(chunks, vertex_tag);
  if (!g || g->material_id >= chunks.materials.size()) return kNoMaterial;
  return g->material_id;
}
