// The ledger of reruns: what runs wrote, so that -u converts only what
// changed. One small hidden file, ".mdx2obj-record", in a folder at or above
// the OBJ files it lists, each keyed by its path under that folder; and while
// runs are under way a journal per process beside it
// (".mdx2obj-record.HOST-PID.journal"), a line appended as each model ends,
// so that a killed run keeps what it did and processes writing at once
// (shards, on one machine or several) never lose each other's entries. At
// its end a run folds its own journal, and those that runs of this machine
// which are gone left, into the ledger's file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger/ledger_file.h"

// One ledger: its file, and this process's journal beside it.
struct Ledger {
  std::filesystem::path folder;
  std::string shown;      // its file's name as messages show it
  std::size_t depth = 0;  // the parts of the folder's absolute path, for keys
  // Read by a run with -u; by the path under the folder, "/" between folders.
  std::unordered_map<std::string, LedgerEntry> entries;
  // A journal of a run of this machine that is gone was found: that run may
  // have been killed while it wrote an OBJ, beside which its temporary file
  // still lies.
  bool killed_run = false;
  std::mutex mutex;  // the journal is written by every job
  std::ofstream journal;
  bool journal_written = false;
  std::string journal_error;  // the first failure to write the journal
};

constexpr std::uint32_t kNoLedger = static_cast<std::uint32_t>(-1);

// The ledgers of one run, and which folder's OBJ files each holds.
struct Ledgers {
  std::filesystem::path cwd;
  std::vector<std::unique_ptr<Ledger>> all;
  std::unordered_map<std::filesystem::path::string_type, std::uint32_t> by_folder;
  bool asked = false;       // find_ledger was asked, of
  std::string last_folder;  // this folder, as named, and answered
  std::uint32_t last = kNoLedger;
};

// The ledger of an OBJ file in `folder` (a name in UTF-8): the nearest one
// in that folder or a folder above it; kNoLedger where there is none.
std::uint32_t find_ledger(Ledgers* ledgers, const std::string& folder);

// A ledger in `folder`, made there at the end of the run: for the OBJ files
// that no ledger holds yet, with -u.
std::uint32_t ledger_in(Ledgers* ledgers, const std::string& folder);

// Reads the ledger's file and every journal beside it; whatever is missing or
// damaged is only not known (its models convert again).
void read_ledger(Ledger* ledger);

// The key of an OBJ file in the ledger: its path under the ledger's folder,
// "/" between folders.
std::string ledger_key(const Ledgers& ledgers, const Ledger& ledger,
                       const std::filesystem::path& obj);

// The path of a model under the ledger's folder, "/" between folders
// ("../art/unit.mdx" where it lies elsewhere).
std::string ledger_model_path(const Ledgers& ledgers, const Ledger& ledger,
                              const std::filesystem::path& model);

// Opens this process's journal, at the start of the first model that may
// write a file the ledger lists: a run killed in the middle of it leaves one.
void open_journal(Ledger* ledger);

// Appends one entry to this process's journal; false, with the reason, where
// it cannot be written (the file it lists is not the worse for it).
bool journal_entry(Ledger* ledger, const std::string& key, const LedgerEntry& entry,
                   std::string* err);

// Folds this process's journal, and those of runs of this machine that are
// gone, into the ledger's file, written whole or not at all. Nothing to fold
// costs a look at the folder; a ledger that another process is folding at
// that moment is left to it. False, with the reason, where it could not be saved
// (its journal then stays for a later run, unless empty).
bool save_ledger(Ledger* ledger, std::string* err);

// Why a model is converted again: "missing", "changed", "failed", "options"
// or "version" (also for an entry of an older form); empty when its file is
// up to date.
// `now` holds the model and the file as they are, and the run's style.
std::string stale_reason(const LedgerEntry* entry, const LedgerEntry& now, bool file_exists);

// The files written with an OBJ (its MTL; of older forms, its images) as
// they are now: "missing" or "changed" where one is not as the entry lists
// it, else empty.
std::string files_reason(const Ledger& ledger, const LedgerEntry& entry);

// A file written with an OBJ, as the entry lists it: looked at now.
bool ledger_file(const Ledgers& ledgers, const Ledger& ledger, const std::filesystem::path& name,
                 LedgerFile* file);
