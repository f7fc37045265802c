#include "ledger/ledger.h"

#include <cerrno>
#include <iterator>

#include "common/file_calls.h"
#include "common/file_identity.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// A path as an absolute one without "." and "..".
fs::path absolute_of(const Ledgers& ledgers, const fs::path& path) {
  fs::path whole = absolute_name(path, ledgers.cwd);
  // "out/" is the folder "out".
  if (!whole.has_filename() && whole.has_relative_path()) whole = whole.parent_path();
  return whole;
}

std::size_t parts_of(const fs::path& path) {
  return static_cast<std::size_t>(std::distance(path.begin(), path.end()));
}

// The folder as messages show it: from the current folder where it lies
// within it, else whole.
std::string shown_ledger(const Ledgers& ledgers, const fs::path& folder) {
  const fs::path inside = folder.lexically_relative(ledgers.cwd);
  const bool within = !inside.empty() && *inside.begin() != "..";
  std::string shown = within && inside != "." ? inside.u8string() : "";
  if (!within) shown = folder.u8string();
  if (!shown.empty() && shown.back() != '/' && shown.back() != '\\') shown += kSeparator;
  return shown + kRecordName;
}

std::uint32_t add_ledger(Ledgers* ledgers, const fs::path& folder) {
  std::unique_ptr<Ledger> ledger(new Ledger);
  ledger->folder = folder;
  ledger->shown = shown_ledger(*ledgers, folder);
  ledger->depth = parts_of(folder);
  ledgers->all.push_back(std::move(ledger));
  return static_cast<std::uint32_t>(ledgers->all.size() - 1);
}

// The nearest ledger at or above `folder` (absolute), each folder looked at
// once in a run.
std::uint32_t nearest(Ledgers* ledgers, const fs::path& folder) {
  const fs::path::string_type key = name_key(folder, ledgers->cwd);
  auto known = ledgers->by_folder.find(key);
  if (known != ledgers->by_folder.end()) return known->second;
  FileLook look;
  int code = 0;
  std::uint32_t found = kNoLedger;
  if (g_file_calls.look(folder / kRecordName, true, &look, &code) &&
      look.kind == FileLook::kRegular) {
    found = add_ledger(ledgers, folder);
  } else if (folder.has_relative_path()) {
    found = nearest(ledgers, folder.parent_path());
  }
  ledgers->by_folder[key] = found;
  return found;
}

}  // namespace

std::uint32_t find_ledger(Ledgers* ledgers, const std::string& folder) {
  // A tree's OBJ files come folder by folder.
  if (ledgers->asked && folder == ledgers->last_folder) return ledgers->last;
  ledgers->asked = true;
  ledgers->last_folder = folder;
  ledgers->last = nearest(ledgers, absolute_of(*ledgers, native_name(folder, NameBytes::kUtf8)));
  return ledgers->last;
}

std::uint32_t ledger_in(Ledgers* ledgers, const std::string& folder) {
  const fs::path whole = absolute_of(*ledgers, native_name(folder, NameBytes::kUtf8));
  auto at = ledgers->by_folder.emplace(name_key(whole, ledgers->cwd), kNoLedger).first;
  if (at->second == kNoLedger || ledgers->all[at->second]->depth != parts_of(whole)) {
    at->second = add_ledger(ledgers, whole);
  }
  ledgers->asked = false;
  return at->second;
}

std::string ledger_key(const Ledgers& ledgers, const Ledger& ledger, const fs::path& obj) {
  const fs::path whole = absolute_of(ledgers, obj);
  std::string key;
  std::size_t part = 0;
  for (const fs::path& name : whole) {
    if (part++ < ledger.depth) continue;
    key += (key.empty() ? "" : "/") + name.u8string();
  }
  return key;
}

std::string ledger_model_path(const Ledgers& ledgers, const Ledger& ledger, const fs::path& model) {
  const fs::path whole = absolute_of(ledgers, model);
  const fs::path relative = whole.lexically_relative(ledger.folder);
  return (relative.empty() ? whole : relative).generic_u8string();
}

void read_ledger(Ledger* ledger) {
  read_ledger_file(ledger->folder / kRecordName, &ledger->entries);
  for (const std::string& name : journals_in(ledger->folder)) {
    read_ledger_file(ledger->folder / fs::u8path(name), &ledger->entries);
    // Before this run has written one, any such journal is a killed run's.
    ledger->killed_run = ledger->killed_run || foldable_journal(name);
  }
}

void open_journal(Ledger* ledger) {
  std::lock_guard<std::mutex> lock(ledger->mutex);
  if (ledger->journal.is_open() || !ledger->journal_error.empty()) return;
  errno = 0;
  ledger->journal.open(long_path(this_journal(ledger->folder)), std::ios::binary | std::ios::app);
  if (!ledger->journal.is_open()) ledger->journal_error = errno_text("cannot create its journal");
}

bool journal_entry(Ledger* ledger, const std::string& key, const LedgerEntry& entry,
                   std::string* err) {
  open_journal(ledger);
  std::lock_guard<std::mutex> lock(ledger->mutex);
  if (ledger->journal_error.empty()) {
    errno = 0;
    ledger->journal << ledger_line(key, entry) << std::flush;
    if (ledger->journal.good()) {
      ledger->journal_written = true;
    } else {
      ledger->journal_error = errno_text("cannot write its journal");
    }
  }
  if (!ledger->journal_error.empty()) *err = ledger->journal_error;
  return ledger->journal_error.empty();
}

std::string stale_reason(const LedgerEntry* entry, const LedgerEntry& now, bool file_exists) {
  if (!file_exists) return "missing";
  if (!entry) return "changed";
  if (entry->failed) return "failed";
  // An older form does not know the textures' sources: made once more.
  if (entry->version != now.version || entry->form < kLedgerForm) return "version";
  if (entry->style != now.style) return "options";
  if (entry->model_size != now.model_size || entry->model_modified != now.model_modified ||
      entry->file_size != now.file_size || entry->file_modified != now.file_modified) {
    return "changed";
  }
  return "";
}

std::string files_reason(const Ledger& ledger, const LedgerEntry& entry) {
  for (const LedgerFile& f : entry.files) {
    FileLook look;
    int code = 0;
    if (!g_file_calls.look(ledger.folder / fs::u8path(f.path), true, &look, &code) ||
        look.kind != FileLook::kRegular) {
      return "missing";
    }
    if (look.size != f.size || look.modified != f.modified) return "changed";
  }
  return "";
}

bool ledger_file(const Ledgers& ledgers, const Ledger& ledger, const fs::path& name,
                 LedgerFile* file) {
  FileLook look;
  int code = 0;
  if (!g_file_calls.look(name, true, &look, &code) || look.kind != FileLook::kRegular) return false;
  file->path = ledger_model_path(ledgers, ledger, name);
  file->size = look.size;
  file->modified = look.modified;
  return true;
}
