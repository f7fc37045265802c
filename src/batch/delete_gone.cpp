#include "batch/delete_gone.h"

#include <algorithm>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

// A model that is gone, as the run would have found it, and the OBJ the run
// would have written for it.
struct Gone {
  std::string model;
  std::string obj;
};

// The OBJ files the run would write for the gone model at `model` (absolute):
// one for each walked folder that holds it, in this run's share.
std::vector<Gone> covered(const JobList& list, const Settings& options, const fs::path& model) {
  std::vector<Gone> all;
  for (const WalkedFolder& folder : list.folders) {
    const fs::path root =
        absolute_name(native_name(folder.name, NameBytes::kUtf8), list.ledgers.cwd);
    const fs::path relative = model.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") continue;
    Gone gone;
    gone.model = joined_name(folder.name, relative);
    const std::size_t tail = relative.u8string().size() + folder.kept;
    if (!in_shard(slashed_name(gone.model.substr(gone.model.size() - tail)), options)) continue;
    gone.obj = obj_name_of(gone.model, tail, options);
    all.push_back(gone);
  }
  return all;
}

// Which of them is `obj` (absolute); null where none is.
const Gone* written_at(const std::vector<Gone>& all, const fs::path& obj, const fs::path& cwd) {
  for (const Gone& gone : all) {
    if (name_key(native_name(gone.obj, NameBytes::kUtf8), cwd) == name_key(obj, cwd)) return &gone;
  }
  return nullptr;
}

// Why an entry's path is none to act on: "" where it names an OBJ file in the
// ledger's folder or below, reached through no link. A ledger is data from a
// folder that others may write.
std::string unsafe_key(const fs::path& folder, const std::string& key) {
  const fs::path path = fs::u8path(key);
  if (path.has_root_name() || path.has_root_directory()) return "its path is absolute";
  for (const fs::path& part : path) {
    if (part == "..") return "its path leaves the ledger's folder";
  }
  // A run of either format removes only its own format's files: the path
  // the run would write, below.
  if (key.size() < 4 || (key.compare(key.size() - 4, 4, ".obj") != 0 &&
                         key.compare(key.size() - 4, 4, ".glb") != 0)) {
    return "it is no OBJ or GLB file";
  }
  fs::path at = folder;
  for (const fs::path& part : path) {
    at /= part;
    FileLook look;
    int code = 0;
    if (g_file_calls.look(at, false, &look, &code) && look.kind == FileLook::kLink) {
      return "its path goes through a link";
    }
  }
  return "";
}

// The ledger lists the file no more: at the end of the run it is folded away.
void forget(Ledger* ledger, const std::string& key) {
  LedgerEntry gone;
  gone.kind = LedgerKind::kGone;
  std::string unsaved;  // kept by the ledger, and told when it is saved
  journal_entry(ledger, key, gone, &unsaved);
}

bool model_gone(const fs::path& model) {
  FileLook look;
  int code = 0;
  return g_file_calls.look(model, true, &look, &code) && look.kind == FileLook::kMissing;
}

// One entry of a ledger: removed, listed, forgotten or left as it is.
void settle(JobList* list, const Settings& options, Ledger* ledger, const std::string& key,
            Report* report) {
  const LedgerEntry& entry = ledger->entries[key];
  // A ledger of the first form does not say where the model was.
  if (entry.model.empty()) return;
  const fs::path model = (ledger->folder / fs::u8path(entry.model)).lexically_normal();
  const std::vector<Gone> all =
      model_gone(model) ? covered(*list, options, model) : std::vector<Gone>();
  if (all.empty()) return;
  const std::string why = unsafe_key(ledger->folder, key);
  if (!why.empty()) {
    tell_other_failure(report, ledger->shown, "not removing " + key + ": " + why);
    if (!options.dry_run) forget(ledger, key);
    return;
  }
  const fs::path obj = (ledger->folder / fs::u8path(key)).lexically_normal();
  const Gone* gone = written_at(all, obj, list->ledgers.cwd);
  if (!gone) return;
  FileLook now;
  int code = 0;
  if (!g_file_calls.look(obj, false, &now, &code)) return;
  if (now.kind == FileLook::kMissing) {
    if (!options.dry_run) forget(ledger, key);
    return;
  }
  // Only what this program wrote and nobody changed since.
  if (now.kind != FileLook::kRegular || now.size != entry.file_size ||
      now.modified != entry.file_modified) {
    return;
  }
  if (!options.dry_run && !g_file_calls.remove(obj, &code)) {
    tell_other_failure(report, gone->obj, "cannot remove: " + reason(code));
    return;
  }
  if (!options.dry_run) forget(ledger, key);
  tell_removal(report, gone->model, gone->obj);
}

}  // namespace

void delete_gone(JobList* list, const Settings& options, Report* report) {
  for (const auto& ledger : list->ledgers.all) {
    std::vector<std::string> keys;
    for (const auto& entry : ledger->entries) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    for (const std::string& key : keys) settle(list, options, ledger.get(), key, report);
  }
}
