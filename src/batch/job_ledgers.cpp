// Which ledger of reruns each OBJ of the run belongs to.
#include "batch/jobs.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

std::string folder_of(std::string_view name) {
  return fs::u8path(std::string(name)).parent_path().u8string();
}

// Where a -u run makes a ledger that no folder holds yet: the -d folder; for
// OBJ files beside their models, the folder named on the command line; for a
// model named itself, its OBJ's folder.
std::string output_root(const JobList& list, const Job& job, const BatchOptions& options) {
  if (options.output_dir) return shown_name(*options.output_dir);
  const std::string_view model = model_name(list, job);
  if (job.found) return std::string(model.substr(0, model.size() - job.tail_len));
  return folder_of(obj_name(list, job));
}

}  // namespace

void find_ledgers(JobList* list, const BatchOptions& options) {
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
