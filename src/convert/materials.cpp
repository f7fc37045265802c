#include "convert/materials.h"

#include <algorithm>
#include <system_error>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kNoLayer = 0xFFFFFFFFu;

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

void warn(MaterialsMade* made, const TextureWanted& w, const std::string& why) {
  made->warnings.push_back("texture " + w.relative + ": " + why);
}

// Finds the texture and decides its image's place; where there is nothing to
// make, w->warning says why.
void place(const TextureSettings& settings, TextureLookup* lookup, const fs::path& model,
           const std::string& obj_shown, const RunFolder* own, TextureWanted* w) {
  fs::path found;
  if (!find_texture(lookup, model, settings.top, settings.search, w->relative, &found) ||
      !look_at_found(lookup, found, &w->source)) {
    w->source = TextureSource();
    w->warning = "not found";
    return;
  }
  w->warning = kind_warning(w->source.kind);
  if (!w->warning.empty()) return;
  w->place =
      place_image(settings.place, own, w->source.path, w->source.kind, w->relative, obj_shown);
  w->key = name_key(w->place.file, lookup->cwd);
}

// The image made by this job; none to make where the texture is itself the
// image, or where an earlier run made it from the source as it is now.
void make(const TextureSettings& settings, const TextureWanted& w, TextureResult* result) {
  FileLook there;
  int code = 0;
  if (g_file_calls.look(w.place.file, true, &there, &code) && there.kind == FileLook::kRegular) {
    result->size = there.size;
    if (there.device == w.source.look.device && there.inode == w.source.look.inode) return;
    if (settings.made && made_before(*settings.made, w.key, there,
                                     name_key(w.source.path, fs::path()), w.source.look)) {
      return;
    }
  }
  // Its folders lie where the run writes: made as needed.
  make_image(w.source, w.place.file, w.place.shown, true, result);
  if (result->failure.empty() && result->warning.empty() &&
      g_file_calls.look(w.place.file, true, &there, &code)) {
    result->size = there.size;
  }
}

// Claims the images in the job's turn and makes its own; false where the run
// was interrupted.
bool claim_and_make(const TextureSettings& settings, TextureStore* store, std::size_t order,
                    std::vector<TextureWanted>* wanted) {
  // A model without images to claim keeps no other waiting.
  bool any = false;
  for (const TextureWanted& w : *wanted) any = any || w.warning.empty();
  if (!any) {
    end_turn(store, order);
    return true;
  }
  if (!wait_for_turn(store, order)) return false;
  for (TextureWanted& w : *wanted) {
    if (!w.warning.empty()) continue;
    w.claim = claim_image(store, w.key, w.source.look.device, w.source.look.inode);
  }
  end_turn(store, order);
  for (TextureWanted& w : *wanted) {
    if (!w.warning.empty() || w.claim != Claim::kMine) continue;
    make(settings, w, &w.result);
    image_made(store, w.key, w.result);
  }
  return true;
}

// The first image of the model that could not be written fails it.
bool first_failure(const std::vector<TextureWanted>& wanted, MaterialsMade* made) {
  for (const TextureWanted& w : wanted) {
    if (w.result.failure.empty()) continue;
    made->failed_name = w.result.failed_name;
    made->why = w.result.failure;
    made->file_system_fault = w.result.file_system_fault;
    return true;
  }
  return false;
}

// What the lookup found and what became of the image, for the ledger.
TextureFound found_of(const TextureWanted& w, bool imaged) {
  TextureFound found;
  found.relative = w.relative;
  found.source = w.source.path;
  found.source_look = w.source.look;
  if (imaged) {
    found.image = w.place.file;
    found.image_size = w.result.size;
  }
  return found;
}

// What became of each image, into the materials' maps.
void take_results(const fs::path& mtl_folder, const fs::path& cwd, MaterialsMade* made,
                  std::vector<std::string>* maps) {
  for (const TextureWanted& w : made->wanted) {
    const bool imaged = w.warning.empty() && w.claim != Claim::kTaken && w.result.failure.empty() &&
                        w.result.warning.empty();
    made->textures.push_back(found_of(w, imaged));
    if (!w.warning.empty()) {
      warn(made, w, w.warning);
    } else if (w.claim == Claim::kTaken) {
      warn(made, w, shown_name(w.place.shown) + " is made from another file");
    } else if (!w.result.warning.empty()) {
      warn(made, w, w.result.warning);
    } else if (imaged) {
      (*maps)[w.texture_id] = path_from(w.place.file, mtl_folder, cwd);
      const std::string shown = shown_name(w.place.shown);
      if (std::find(made->images.begin(), made->images.end(), shown) == made->images.end()) {
        made->images.push_back(shown);
        made->image_files.push_back(w.place.file);
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

fs::path run_cwd(const TextureSettings& settings) {
  if (settings.place.run_folders) return settings.place.run_folders->cwd;
  std::error_code ec;
  return fs::current_path(ec);
}

}  // namespace

void begin_materials(const TextureSettings& settings, std::size_t order, const ModelChunks& chunks,
                     const fs::path& model, const std::string& obj_shown, const RunFolder* own,
                     MaterialsMade* made) {
  TextureLookup own_lookup;
  TextureLookup* lookup = settings.lookup;
  if (lookup == nullptr) {
    start_lookup(&own_lookup, run_cwd(settings));
    lookup = &own_lookup;
  }
  std::vector<bool> used(chunks.textures.size(), false);
  for (const ModelMaterial& m : chunks.materials) {
    const std::uint32_t layer = mapped_layer(chunks, m);
    if (layer == kNoLayer || used[chunks.layers[layer].texture_id]) continue;
    TextureWanted w;
    w.texture_id = chunks.layers[layer].texture_id;
    used[w.texture_id] = true;
    w.relative = texture_path(chunks.textures[w.texture_id].path);
    place(settings, lookup, model, obj_shown, own, &w);
    made->wanted.push_back(std::move(w));
  }
  TextureStore own_store;
  TextureStore* store = settings.store;
  if (store == nullptr) {
    start_texture_store(&own_store, 1);
    store = &own_store;
    order = 0;
  }
  made->stopped = !claim_and_make(settings, store, order, &made->wanted);
  if (!made->stopped) first_failure(made->wanted, made);
}

void end_materials(const TextureSettings& settings, const ModelChunks& chunks, const fs::path& obj,
                   MaterialsMade* made) {
  for (TextureWanted& w : made->wanted) {
    if (w.warning.empty() && w.claim == Claim::kShared && settings.store &&
        !wait_for_image(settings.store, w.key, &w.result)) {
      made->stopped = true;
      return;
    }
  }
  // An image another job could not write fails this model too.
  if (first_failure(made->wanted, made)) return;
  std::vector<std::string> maps(chunks.textures.size());
  take_results(obj.parent_path(), run_cwd(settings), made, &maps);
  describe(chunks, maps, made);
  made->wanted.clear();
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
