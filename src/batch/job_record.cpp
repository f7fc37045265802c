#include "batch/job_record.h"

#include <algorithm>

#include "common/file_calls.h"
#include "common/output_file.h"

namespace fs = std::filesystem;

namespace {

// The options that shaped a file: a GLB's, "glb", its scale and its baking.
std::string record_style(const Settings& options) {
  if (options.format == OutputFormat::kObj) return style_key(options);
  Settings scale_alone;
  scale_alone.scale = options.scale;
  const std::string scale = style_key(scale_alone);
  const std::string bake = options.bake ? " bake=" + std::to_string(options.bake) : "";
  return (scale.empty() ? "glb" : "glb " + scale) + bake;
}

// The model and its OBJ as they are now, as the ledger keeps them.
LedgerEntry entry_now(const Pool& pool, const Job& job) {
  LedgerEntry now;
  now.model_size = job.bytes;
  now.model_modified = job.modified;
  now.file_size = job.obj_size;
  now.file_modified = job.obj_modified;
  now.style = record_style(pool.settings);
  now.version = MDX2OBJ_VERSION;
  return now;
}

// The images a record lists, as they are now: "missing" or "changed" (by
// size alone: another model's run may have written the same image since).
std::string images_reason(const Ledger& ledger, const LedgerEntry& entry) {
  for (const LedgerTexture& t : entry.textures) {
    if (t.image.empty()) continue;
    FileLook look;
    int code = 0;
    if (!g_file_calls.look(ledger.folder / fs::u8path(t.image), true, &look, &code) ||
        look.kind != FileLook::kRegular) {
      return "missing";
    }
    if (look.size != t.image_size) return "changed";
  }
  return "";
}

// "texture" where a texture's lookup now finds another file, the same file
// changed, or one where none was; a texture still missing is no reason.
std::string textures_reason(Pool* pool, const Ledger& ledger, const LedgerEntry& entry,
                            const fs::path& model) {
  const Settings& settings = pool->settings;
  for (const LedgerTexture& t : entry.textures) {
    fs::path found;
    FileLook look;
    int code = 0;
    if (!find_texture(&pool->lookup, model, fs::path(settings.texture_top),
                      pool->run_textures.search, t.relative, &found) ||
        !g_file_calls.look(found, true, &look, &code) || look.kind != FileLook::kRegular) {
      if (!t.source.empty()) return "texture";
      continue;
    }
    if (t.source.empty() || ledger_model_path(pool->list.ledgers, ledger, found) != t.source ||
        look.size != t.source_size || look.modified != t.source_modified) {
      return "texture";
    }
  }
  return "";
}

// The files the record lists with the OBJ (its MTL, then its images), as
// messages show them; of a GLB, no MTL ("") and the textures it embeds, as
// its converted line names them.
std::vector<std::string> recorded_files(const Ledger& ledger, const LedgerEntry& entry,
                                        OutputFormat format) {
  if (format == OutputFormat::kGlb) {
    std::vector<std::string> embedded{""};
    for (const LedgerTexture& t : entry.textures) {
      if (t.image.empty() && t.image_size > 0) embedded.push_back(shown_name(t.relative));
    }
    return embedded;
  }
  const fs::path folder = fs::u8path(ledger.shown).parent_path();
  std::vector<std::string> files;
  auto add = [&](const std::string& path) {
    const std::string shown =
        shown_name((folder / fs::u8path(path)).lexically_normal().generic_u8string());
    if (std::find(files.begin(), files.end(), shown) == files.end()) files.push_back(shown);
  };
  for (const LedgerFile& f : entry.files) add(f.path);
  for (const LedgerTexture& t : entry.textures) {
    if (!t.image.empty()) add(t.image);
  }
  return files;
}

}  // namespace

bool settled_by_ledger(Pool* pool, const Job& job, Ledger* ledger, const std::string& key,
                       const Conversion& conversion, JobEnd* end) {
  if (!pool->settings.update) return false;
  auto entry = ledger->entries.find(key);
  const LedgerEntry* was = entry == ledger->entries.end() ? nullptr : &entry->second;
  std::string why = stale_reason(was, entry_now(*pool, job), job.obj_exists);
  if (why.empty()) why = files_reason(*ledger, *was);
  // A texture whose source changed has another image: the texture says why.
  if (why.empty()) why = textures_reason(pool, *ledger, *was, conversion.model.path);
  if (why.empty()) why = images_reason(*ledger, *was);
  if (was) end->recorded = recorded_files(*ledger, *was, pool->settings.format);
  if (why.empty()) {
    // A run killed while it wrote this OBJ again left its temporary file
    // beside it: this run does not write there, so it removes it now.
    if (ledger->killed_run && !pool->settings.dry_run) remove_leftovers_beside(conversion.obj.path);
    end->outcome = Outcome::kUpToDate;
    return true;
  }
  if (!pool->settings.dry_run) return false;
  end->outcome = Outcome::kWouldConvert;
  end->reason = why;
  return true;
}

void note_in_ledger(const Pool& pool, const Job& job, Ledger* ledger, const std::string& key,
                    const Conversion& conversion, const Converted& done) {
  const Ledgers& ledgers = pool.list.ledgers;
  LedgerEntry entry = entry_now(pool, job);
  entry.model = ledger_model_path(ledgers, *ledger, conversion.model.path);
  entry.file_size = done.obj.size;
  entry.file_modified = done.obj.modified;
  entry.failed = !done.ok;
  LedgerFile file;
  if (!done.mtl_file.empty() && ledger_file(ledgers, *ledger, done.mtl_file, &file)) {
    entry.files.push_back(file);
  }
  for (const TextureFound& found : done.materials.textures) {
    LedgerTexture t;
    t.relative = found.relative;
    if (!found.source.empty()) {
      t.source = ledger_model_path(ledgers, *ledger, found.source);
      t.source_size = found.source_look.size;
      t.source_modified = found.source_look.modified;
    }
    if (!found.image.empty()) t.image = ledger_model_path(ledgers, *ledger, found.image);
    t.image_size = found.image_size;
    entry.textures.push_back(std::move(t));
  }
  std::string unsaved;  // kept by the ledger, and told when it is saved
  journal_entry(ledger, key, entry, &unsaved);
}
