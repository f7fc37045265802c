// Folding the journals into the ledger's file at the end of a run.
#include <algorithm>
#include <cerrno>

#include "common/file_calls.h"
#include "common/output_file.h"
#include "ledger/ledger.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> foldable(const fs::path& folder) {
  std::vector<std::string> names;
  for (const std::string& name : journals_in(folder)) {
    if (foldable_journal(name)) names.push_back(name);
  }
  return names;
}

// Closes this process's journal; one that holds no entry goes.
void close_journal(Ledger* ledger) {
  if (!ledger->journal.is_open()) return;
  ledger->journal.close();
  if (ledger->journal_written) return;
  int code = 0;
  g_file_calls.remove(this_journal(ledger->folder), &code);
}

// One fold in a folder at a time: a second process that finds the lock leaves
// the journals to a later run. A lock whose run of this machine is gone is
// taken over.
bool take_lock(const fs::path& lock) {
  int code = 0;
  FileHandle held = g_file_calls.create_new(lock, nullptr, &code);
  if (held == kNoFile && code == EEXIST) {
    std::ifstream in(long_path(lock));
    std::string host, pid;
    if (in >> host >> pid && host == this_host() && process_ended(pid)) {
      in.close();
      if (!g_file_calls.remove(lock, &code)) return false;
      held = g_file_calls.create_new(lock, nullptr, &code);
    }
  }
  if (held == kNoFile) return false;
  const std::string owner = this_host() + " " + std::to_string(this_process());
  g_file_calls.write(held, owner.data(), owner.size(), &code);
  g_file_calls.close(held, &code);
  return true;
}

// The ledger's file and the journals, in the order of the keys, so that the
// same entries always give the same file.
std::string ledger_text(const fs::path& folder, const std::vector<std::string>& journals) {
  std::unordered_map<std::string, LedgerEntry> entries;
  read_ledger_file(folder / kRecordName, &entries);
  for (const std::string& name : journals) read_ledger_file(folder / fs::u8path(name), &entries);
  std::vector<const std::pair<const std::string, LedgerEntry>*> sorted;
  for (const auto& entry : entries) sorted.push_back(&entry);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->first < b->first; });
  std::string text = std::string(kLedgerHeader) + "\n";
  for (const auto* entry : sorted) text += ledger_line(entry->first, entry->second);
  return text;
}

bool write_ledger_file(const fs::path& folder, const std::string& text, std::string* err) {
  OutputFile file;
  if (!open_output(&file, folder / kRecordName, nullptr, false, err)) return false;
  file.sputn(text.data(), static_cast<std::streamsize>(text.size()));
  return commit_output(&file, err);
}

}  // namespace

bool save_ledger(Ledger* ledger, std::string* err) {
  std::lock_guard<std::mutex> guard(ledger->mutex);
  close_journal(ledger);
  bool saved = ledger->journal_error.empty();
  if (!saved) *err = ledger->journal_error;
  const fs::path& folder = ledger->folder;
  if (foldable(folder).empty()) return saved;
  const fs::path lock = folder / (std::string(kRecordName) + ".lock");
  if (!take_lock(lock)) return saved;
  // Listed again under the lock: another run may have folded some meanwhile.
  const std::vector<std::string> folded = foldable(folder);
  std::string why;
  int code = 0;
  if (write_ledger_file(folder, ledger_text(folder, folded), &why)) {
    for (const std::string& name : folded) g_file_calls.remove(folder / fs::u8path(name), &code);
  } else if (saved) {
    *err = why;
    saved = false;
  }
  g_file_calls.remove(lock, &code);
  return saved;
}
