// Which ledger of reruns each OBJ of the run belongs to, what the ledgers
// know of images made before, and the run folder of each model.
#include "batch/jobs.h"
#include "common/file_identity.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

std::string folder_of(std::string_view name) {
  return fs::u8path(std::string(name)).parent_path().u8string();
}

// Where a -u run makes a ledger that no folder holds yet: the -d folder; for
// OBJ files beside their models, the folder named on the command line; for a
// model named itself, its OBJ's folder.
std::string output_root(const JobList& list, const Job& job, const Settings& options) {
  if (options.output_dir) return shown_name(*options.output_dir);
  const std::string_view model = model_name(list, job);
  if (job.found) return std::string(model.substr(0, model.size() - job.tail_len));
  return folder_of(obj_name(list, job));
}

}  // namespace

void find_ledgers(JobList* list, const Settings& options) {
  if (options.to_stdout) return;
  Ledgers& ledgers = list->ledgers;
  std::error_code ec;
  ledgers.cwd = fs::current_path(ec);
  for (Job& job : list->jobs) {
    if (job.failure == 0) job.ledger = find_ledger(&ledgers, folder_of(obj_name(*list, job)));
  }
  if (!options.update) return;
  for (Job& job : list->jobs) {
    if (job.failure == 0 && job.ledger == kNoLedger) {
      job.ledger = ledger_in(&ledgers, output_root(*list, job, options));
    }
  }
  for (const auto& ledger : ledgers.all) read_ledger(ledger.get());
}

void find_run_folders(const JobList& list, RunFolders* folders,
                      std::vector<std::uint32_t>* of_job) {
  std::error_code ec;
  folders->cwd = fs::current_path(ec);
  of_job->assign(list.jobs.size(), 0);
  for (std::size_t i = 0; i < list.jobs.size(); ++i) {
    const Job& job = list.jobs[i];
    if (job.failure != 0) continue;
    const std::string_view name = model_name(list, job);
    // Under -d the OBJ of a model is its tail there: the part of the tail
    // before the model's path under its run folder is the folder's place.
    const std::size_t below = job.name_len - job.root_len;
    const std::string_view tail = name.substr(job.name_len - job.tail_len);
    const std::string_view mirror = tail.substr(0, job.tail_len > below ? job.tail_len - below : 0);
    (*of_job)[i] = static_cast<std::uint32_t>(add_run_folder(
        folders, std::string(name.substr(0, job.root_len)), slashed_name(std::string(mirror))));
  }
}

void images_made_before(const JobList& list, MadeImages* made) {
  const Ledgers& ledgers = list.ledgers;
  for (const auto& ledger : ledgers.all) {
    for (const auto& [key, entry] : ledger->entries) {
      if (entry.form < kLedgerForm || entry.version != MDX2OBJ_VERSION) continue;
      for (const LedgerTexture& t : entry.textures) {
        if (t.image.empty() || t.source.empty()) continue;
        MadeImage image;
        image.source = name_key(ledger->folder / fs::u8path(t.source), ledgers.cwd);
        image.source_size = t.source_size;
        image.source_modified = t.source_modified;
        image.size = t.image_size;
        made->emplace(name_key(ledger->folder / fs::u8path(t.image), ledgers.cwd), image);
      }
    }
  }
}
