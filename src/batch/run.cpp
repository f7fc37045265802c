#include "batch/run.h"

#include "batch/delete_gone.h"
#include "batch/pool.h"
#include "batch/report.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"

namespace fs = std::filesystem;

namespace {

// The -d folder, made before any model: when it cannot be, no model could be
// written.
bool make_output_dir(const std::string& dir, std::string* why) {
  const fs::path path = native_name(dir, NameBytes::kUtf8);
  FileLook look;
  int code = 0;
  if (g_file_calls.look(path, true, &look, &code) && look.kind != FileLook::kMissing) {
    if (look.kind == FileLook::kFolder) return true;
    *why = "cannot create the output folder: it is a file";
    return false;
  }
  std::error_code ec;
  fs::create_directories(long_path(path), ec);
  if (ec) *why = "cannot create the output folder: " + ec.message();
  return !ec;
}

// Each ledger that this run wrote to folds its journal, and what killed runs
// left, into its file; one that cannot be saved is told.
void save_ledgers(Report* report, Ledgers* ledgers) {
  for (const auto& ledger : ledgers->all) {
    std::string why;
    if (!save_ledger(ledger.get(), &why)) {
      tell_other_failure(report, ledger->shown, "not saved: " + why);
    }
  }
}

}  // namespace

int run_batch(JobList& list, const Settings& options, std::ostream& out, std::ostream& diag,
              Columns columns) {
  find_ledgers(&list, options);
  Report report(list, options, out, diag, columns);
  Pool pool(list, options, report, out);
  plan_pool(&pool);
  // A dry run makes nothing, not even the -d folder.
  if (options.output_dir && !options.dry_run) make_output_dir(*options.output_dir, &pool.no_output);
  begin_report(&report, pool);
  start_pool(&pool);
  follow_run(&report, pool);
  join_pool(&pool);
  tell_rest(&report);
  if (options.delete_gone && !interrupted()) delete_gone(&list, options, &report);
  // A dry run writes nothing, not even a ledger.
  if (!options.dry_run) save_ledgers(&report, &list.ledgers);
  return end_report(&report);
}
