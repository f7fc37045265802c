// What runs wrote into one output root, so that -u converts only what
// changed. One small hidden file, ".mdx2obj-record", and a journal per process
// that writes there (".mdx2obj-record.HOST-PID.journal"), a line appended as
// each model ends: a killed run keeps what it did, and processes writing into
// one root at once (shards, on one machine or several) never lose each
// other's entries. At its end a run folds its own journal, and those that
// runs of this machine which are gone left, into the record.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <unordered_map>

// One OBJ as the run that wrote it left it, and the model it came from.
struct RecordEntry {
  std::uint64_t model_size = 0;
  std::int64_t model_modified = 0;
  std::uint64_t obj_size = 0;
  std::int64_t obj_modified = 0;
  bool failed = false;
  std::string options;  // the options that shape the OBJ
  std::string version;  // the program's
};

struct Record {
  std::filesystem::path root;
  // By the OBJ's path under the root, with "/" between folders.
  std::unordered_map<std::string, RecordEntry> entries;
  std::mutex mutex;  // the journal is written by every job
  std::ofstream journal;
  // read_record found a journal of a run of this machine that is gone: that
  // run may have been killed while it wrote an OBJ, beside which its
  // temporary file still lies.
  bool killed_run = false;

  Record() = default;
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
};

// Reads the record and every journal under `record->root`; whatever is
// missing or damaged is only not known (its models convert again).
void read_record(Record* record);

// Opens this process's journal, at the start of the first model that may
// write an OBJ under the root: a run killed in the middle of it leaves one.
void open_journal(Record* record);

// Appends one entry to this process's journal; false where it cannot be
// written (the OBJ files are not the worse for it).
bool journal_entry(Record* record, const std::string& key, const RecordEntry& entry);

// Folds this process's journal, and those of runs of this machine that are
// gone, into the record: written under a temporary name and renamed. Nothing
// to fold costs a look at the folder; a root that another process is folding
// at that moment is left to it.
void fold_record(Record* record);

// Why a model is converted again: "missing", "changed", "failed", "options"
// or "version"; empty when its OBJ is up to date.
std::string stale_reason(const RecordEntry* entry, std::uint64_t model_size,
                         std::int64_t model_modified, bool obj_exists, std::uint64_t obj_size,
                         std::int64_t obj_modified, const std::string& options);
