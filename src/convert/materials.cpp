#include "convert/materials.h"

#include <algorithm>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "texture/texture_find.h"
#include "texture/texture_make.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kNoLayer = 0xFFFFFFFFu;

// One texture of the model that a material maps, on its way to an image.
struct Wanted {
  std::uint32_t texture_id = 0;
  std::string relative;  // as texture_path gives it
  TextureSource source;
  std::string image;  // the image's path under the output: relative
  fs::path dest;
  std::string shown;
  ImageKey key;
  Claim claim = Claim::kMine;
  TextureResult result;
  std::string warning;  // why it has no image, found before any claim
};

bool is_file_texture(const ModelChunks& chunks, std::uint32_t id) {
  return id < chunks.textures.size() && chunks.textures[id].replaceable_id == 0 &&
         !chunks.textures[id].path.empty();
}

// The material's layer whose texture it maps: its first whose texture is a
// file.
std::uint32_t mapped_layer(const ModelChunks& chunks, const ModelMaterial& m) {
  for (std::uint32_t i = m.first_layer; i < m.first_layer + m.layer_count; ++i) {
    if (is_file_texture(chunks, chunks.layers[i].texture_id)) return i;
  }
  return kNoLayer;
}

bool names_team_colour(const ModelChunks& chunks, const ModelMaterial& m) {
  for (std::uint32_t i = m.first_layer; i < m.first_layer + m.layer_count; ++i) {
    const std::uint32_t id = chunks.layers[i].texture_id;
    if (id < chunks.textures.size() && chunks.textures[id].path.empty() &&
        (chunks.textures[id].replaceable_id == 1 || chunks.textures[id].replaceable_id == 2)) {
      return true;
    }
  }
  return false;
}

void warn(MaterialsMade* made, const Wanted& w, const std::string& why) {
  made->warnings.push_back("texture " + w.relative + ": " + why);
}

// Finds the texture and decides its image's place; false (with its warning)
// where there is nothing to make.
bool place(const TextureSettings& settings, const fs::path& model, const fs::path& obj,
           const std::string& obj_shown, Wanted* w) {
  fs::path found;
  if (!find_texture(model, settings.search, w->relative, &found) ||
      !look_at_texture(found, &w->source)) {
    w->warning = "not found";
    return false;
  }
  if (w->source.kind == TextureKind::kUnread) {
    w->warning = "format not read";
    return false;
  }
  w->image = image_path(w->relative, w->source.kind);
  const fs::path base = settings.under_root ? settings.root : obj.parent_path();
  w->dest = base / native_name(w->image, NameBytes::kUtf8);
  const std::string shown_base =
      settings.under_root ? settings.root_shown : fs::u8path(obj_shown).parent_path().u8string();
  w->shown = shown_base.empty() ? w->image : shown_base + "/" + w->image;
  w->key = name_key(w->dest);
  return true;
}

// The image made by this job; none to make where the texture already lies
// where its image goes.
void make(const Wanted& w, TextureResult* result) {
  FileLook there;
  int code = 0;
  if (g_file_calls.look(w.dest, true, &there, &code) && there.kind == FileLook::kRegular &&
      there.device == w.source.look.device && there.inode == w.source.look.inode) {
    return;
  }
  // Its folders lie under the OBJ's folder or -d: made as needed.
  make_image(w.source, w.dest, w.shown, true, result);
}

// The map of an image: its path from the MTL's folder.
std::string map_of(const TextureSettings& settings, const Wanted& w, const fs::path& obj) {
  if (!settings.under_root) return w.image;
  fs::path folder = obj.parent_path();
  const fs::path rel = w.dest.lexically_relative(folder.empty() ? fs::path(".") : folder);
  return rel.empty() ? w.dest.generic_u8string() : rel.generic_u8string();
}

// Claims the images in the job's turn, then makes its own and waits for the
// others'; false where the run was interrupted.
bool make_images(TextureStore* store, std::size_t order, std::vector<Wanted>* wanted) {
  // A model without images to claim keeps no other waiting.
  bool any = false;
  for (const Wanted& w : *wanted) any = any || w.warning.empty();
  if (!any) {
    end_turn(store, order);
    return true;
  }
  if (!wait_for_turn(store, order)) return false;
  for (Wanted& w : *wanted) {
    if (!w.warning.empty()) continue;
    w.claim = claim_image(store, w.key, w.source.look.device, w.source.look.inode);
  }
  end_turn(store, order);
  for (Wanted& w : *wanted) {
    if (!w.warning.empty() || w.claim != Claim::kMine) continue;
    make(w, &w.result);
    image_made(store, w.key, w.result);
  }
  for (Wanted& w : *wanted) {
    if (w.warning.empty() && w.claim == Claim::kShared &&
        !wait_for_image(store, w.key, &w.result)) {
      return false;
    }
  }
  return true;
}

// What became of each image, into the materials' maps.
void take_results(const TextureSettings& settings, const fs::path& obj, std::vector<Wanted>& wanted,
                  std::vector<std::string>* maps, MaterialsMade* made) {
  for (const Wanted& w : wanted) {
    if (!w.warning.empty()) {
      warn(made, w, w.warning);
    } else if (w.claim == Claim::kTaken) {
      warn(made, w, w.shown + " is made from another file");
    } else if (!w.result.failure.empty()) {
      if (made->why.empty()) {
        made->failed_name = w.result.failed_name;
        made->why = w.result.failure;
        made->file_system_fault = w.result.file_system_fault;
      }
    } else if (!w.result.warning.empty()) {
      warn(made, w, w.result.warning);
    } else {
      (*maps)[w.texture_id] = map_of(settings, w, obj);
      if (std::find(made->images.begin(), made->images.end(), w.shown) == made->images.end()) {
        made->images.push_back(w.shown);
        made->image_files.push_back(w.dest);
      }
    }
  }
}

void describe(const ModelChunks& chunks, const std::vector<std::string>& maps,
              MaterialsMade* made) {
  for (std::size_t i = 0; i < chunks.materials.size(); ++i) {
    const ModelMaterial& m = chunks.materials[i];
    const std::uint32_t layer = mapped_layer(chunks, m);
    MtlMaterial mtl;
    mtl.name = "material_" + std::to_string(i + 1);
    MaterialFacts facts;
    if (layer != kNoLayer) {
      const MaterialLayer& l = chunks.layers[layer];
      mtl.map = maps[l.texture_id];
      mtl.map_d = layer == m.first_layer && (l.filter_mode == 1 || l.filter_mode == 2);
      facts.texture = mtl.map;
      facts.filter_mode = l.filter_mode;
      facts.two_sided = (l.shading & 0x10) != 0;
    } else {
      mtl.team_colour = names_team_colour(chunks, m);
      if (m.layer_count > 0) {
        facts.filter_mode = chunks.layers[m.first_layer].filter_mode;
        facts.two_sided = (chunks.layers[m.first_layer].shading & 0x10) != 0;
      }
    }
    made->mtl.push_back(mtl);
    made->facts.push_back(facts);
  }
}

}  // namespace

void make_materials(const TextureSettings& settings, std::size_t order, const ModelChunks& chunks,
                    const fs::path& model, const fs::path& obj, const std::string& obj_shown,
                    MaterialsMade* made) {
  std::vector<bool> used(chunks.textures.size(), false);
  std::vector<Wanted> wanted;
  for (const ModelMaterial& m : chunks.materials) {
    const std::uint32_t layer = mapped_layer(chunks, m);
    if (layer == kNoLayer || used[chunks.layers[layer].texture_id]) continue;
    Wanted w;
    w.texture_id = chunks.layers[layer].texture_id;
    used[w.texture_id] = true;
    w.relative = texture_path(chunks.textures[w.texture_id].path);
    place(settings, model, obj, obj_shown, &w);
    wanted.push_back(std::move(w));
  }
  TextureStore own;
  TextureStore* store = settings.store;
  if (store == nullptr) {
    start_texture_store(&own, 1);
    store = &own;
    order = 0;
  }
  if (!make_images(store, order, &wanted)) {
    made->stopped = true;
    return;
  }
  std::vector<std::string> maps(chunks.textures.size());
  take_results(settings, obj, wanted, &maps, made);
  describe(chunks, maps, made);
}

std::string mtl_file_text(const MaterialsMade& made, bool none_used) {
  std::string text;
  for (const MtlMaterial& m : made.mtl) text += (text.empty() ? "" : "\n") + mtl_text(m);
  if (none_used) {
    MtlMaterial none;
    none.name = "none";
    text += (text.empty() ? "" : "\n") + mtl_text(none);
  }
  return text;
}
