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

// Finds the texture; false where it is none to read, w->warning says why.
bool look_up(const Settings& settings, const RunTextures& run, TextureLookup* lookup,
             const fs::path& model, TextureWanted* w) {
  fs::path found;
  if (!find_texture(lookup, model, fs::path(settings.texture_top), run.search, w->relative,
                    &found) ||
      !look_at_found(lookup, found, &w->source)) {
    w->source = TextureSource();
    w->warning = "not found";
    return false;
  }
  w->warning = kind_warning(w->source.kind);
  return w->warning.empty();
}

// Finds the texture and decides its image's place; where there is nothing to
// make, w->warning says why.
void place(const Settings& settings, const RunTextures& run, TextureLookup* lookup,
           const fs::path& model, const std::string& obj_shown, const RunFolder* own,
           TextureWanted* w) {
  if (!look_up(settings, run, lookup, model, w)) return;
  w->place = place_image(settings, run.run_folders, own, w->source.path, w->source.kind,
                         w->relative, obj_shown);
  w->key = name_key(w->place.file, lookup->cwd);
}

// The image made by this job; none to make where the texture is itself the
// image, or where an earlier run made it from the source as it is now.
void make(const RunTextures& run, const TextureWanted& w, TextureResult* result) {
  FileLook there;
  int code = 0;
  if (g_file_calls.look(w.place.file, true, &there, &code) && there.kind == FileLook::kRegular) {
    result->size = there.size;
    if (there.device == w.source.look.device && there.inode == w.source.look.inode) return;
    if (run.made &&
        made_before(*run.made, w.key, there, name_key(w.source.path, fs::path()), w.source.look)) {
      return;
    }
  }
  // Its folders lie where the run writes: made as needed.
  make_image(w.source, w.place.file, w.place.shown, true, result);
  if (result->failure.why.empty() && result->warning.empty() &&
      g_file_calls.look(w.place.file, true, &there, &code)) {
    result->size = there.size;
  }
}

// Claims the images in the job's turn and makes its own; false where the run
// was interrupted.
bool claim_and_make(const RunTextures& run, TextureStore* store, std::size_t order,
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
    make(run, w, &w.result);
    image_made(store, w.key, w.result);
  }
  return true;
}

// The first image of the model that could not be written fails it.
bool first_failure(const std::vector<TextureWanted>& wanted, MaterialsMade* made) {
  for (const TextureWanted& w : wanted) {
    if (w.result.failure.why.empty()) continue;
    made->failure = w.result.failure;
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
    const bool imaged = w.warning.empty() && w.claim != Claim::kTaken &&
                        w.result.failure.why.empty() && w.result.warning.empty();
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

AlphaUse alpha_of(std::uint32_t filter_mode) {
  return filter_mode == 1                       ? AlphaUse::kMask
         : filter_mode == 2                     ? AlphaUse::kBlend
         : filter_mode == 3 || filter_mode == 4 ? AlphaUse::kAdd
                                                : AlphaUse::kOpaque;
}

// Each material as --json tells it: its image (as `maps` names each
// texture's), filter mode and sides.
void describe(const std::vector<std::string>& maps, MaterialsMade* made) {
  made->maps = maps;
  for (const PlannedMaterial& p : made->plan) {
    MaterialFacts facts;
    if (p.texture != kNoTexture) facts.texture = maps[p.texture];
    facts.filter_mode = p.filter_mode;
    facts.two_sided = p.two_sided;
    made->facts.push_back(facts);
  }
}

// The textures the materials show, each once, in the order they are first
// shown.
std::vector<TextureWanted> wanted_textures(const ModelChunks& chunks) {
  std::vector<TextureWanted> wanted;
  std::vector<bool> used(chunks.textures.size(), false);
  for (const ModelMaterial& m : chunks.materials) {
    const std::uint32_t layer = mapped_layer(chunks, m);
    if (layer == kNoLayer || used[chunks.layers[layer].texture_id]) continue;
    TextureWanted w;
    w.texture_id = chunks.layers[layer].texture_id;
    used[w.texture_id] = true;
    w.relative = texture_path(chunks.textures[w.texture_id].path);
    wanted.push_back(std::move(w));
  }
  return wanted;
}

fs::path run_cwd(const RunTextures& run) {
  if (run.run_folders) return run.run_folders->cwd;
  std::error_code ec;
  return fs::current_path(ec);
}

// The run's lookup; without one, `own`, started for this model alone.
TextureLookup* lookup_of(const RunTextures& run, TextureLookup* own) {
  if (run.lookup) return run.lookup;
  start_lookup(own, run_cwd(run));
  return own;
}

}  // namespace

void begin_materials(const Settings& settings, const RunTextures& run, std::size_t order,
                     const ModelChunks& chunks, const fs::path& model, const std::string& obj_shown,
                     const RunFolder* own, MaterialsMade* made) {
  TextureLookup own_lookup;
  TextureLookup* lookup = lookup_of(run, &own_lookup);
  made->wanted = wanted_textures(chunks);
  for (TextureWanted& w : made->wanted) place(settings, run, lookup, model, obj_shown, own, &w);
  TextureStore own_store;
  TextureStore* store = run.store;
  if (store == nullptr) {
    start_texture_store(&own_store, 1);
    store = &own_store;
    order = 0;
  }
  made->stopped = !claim_and_make(run, store, order, &made->wanted);
  if (!made->stopped) first_failure(made->wanted, made);
}

void end_materials(const RunTextures& run, const ModelChunks& chunks, const fs::path& obj,
                   MaterialsMade* made) {
  for (TextureWanted& w : made->wanted) {
    if (w.warning.empty() && w.claim == Claim::kShared && run.store &&
        !wait_for_image(run.store, w.key, &w.result)) {
      made->stopped = true;
      return;
    }
  }
  // An image another job could not write fails this model too.
  if (first_failure(made->wanted, made)) return;
  std::vector<std::string> maps(chunks.textures.size());
  take_results(obj.parent_path(), run_cwd(run), made, &maps);
  made->plan = plan_materials(chunks);
  describe(maps, made);
  made->wanted.clear();
}

std::vector<PlannedMaterial> plan_materials(const ModelChunks& chunks) {
  std::vector<PlannedMaterial> plan;
  for (const ModelMaterial& m : chunks.materials) {
    PlannedMaterial p;
    const std::uint32_t layer = mapped_layer(chunks, m);
    // The layer the material shows gives its look; without one, its first.
    const std::uint32_t look = layer != kNoLayer   ? layer
                               : m.layer_count > 0 ? m.first_layer
                                                   : kNoLayer;
    if (layer != kNoLayer) {
      p.texture = chunks.layers[layer].texture_id;
      if (layer == m.first_layer) p.alpha = alpha_of(chunks.layers[layer].filter_mode);
    } else {
      p.team_colour = names_team_colour(chunks, m);
    }
    if (look != kNoLayer) {
      const MaterialLayer& l = chunks.layers[look];
      p.filter_mode = l.filter_mode;
      p.two_sided = (l.shading & 0x10) != 0;
      p.unshaded = (l.shading & 0x1) != 0;
    }
    plan.push_back(p);
  }
  return plan;
}

void embed_materials(const Settings& settings, const RunTextures& run, const ModelChunks& chunks,
                     const fs::path& model, MaterialsMade* made,
                     std::vector<EmbeddedImage>* images) {
  TextureLookup own_lookup;
  TextureLookup* lookup = lookup_of(run, &own_lookup);
  made->plan = plan_materials(chunks);
  std::vector<std::string> names(chunks.textures.size());
  for (TextureWanted& w : wanted_textures(chunks)) {
    EmbeddedImage image;
    const bool read = look_up(settings, run, lookup, model, &w) &&
                      embed_texture(w.source, &image.mime, &image.bytes, &w.warning);
    made->textures.push_back(found_of(w, false));
    if (!read) {
      warn(made, w, w.warning);
      continue;
    }
    // Embedded: an image of its size, in no file of its own.
    made->textures.back().image_size = image.bytes.size();
    image.texture_id = w.texture_id;
    image.name = w.relative;
    names[w.texture_id] = w.relative;
    made->images.push_back(shown_name(w.relative));
    images->push_back(std::move(image));
  }
  describe(names, made);
}
