// The jobs of one command-line run, resolved once before anything is
// converted: the models found under the paths the user named and on lists,
// their OBJ names worked out and checked against each other, the part of a
// shard, and the ledger of reruns each OBJ belongs to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "ledger/ledger.h"
#include "mdx/model_source.h"
#include "texture/texture_place.h"
#include "texture/texture_store.h"

// One job, in the run's order: a model, or a PATH that fails as a whole (a
// folder without -r, a folder without models or that cannot be read), with
// its failure line. Kept small: a run of 100,000 models holds 100,000 of
// these, their names in one buffer; paths and keys are made when used.
struct Job {
  std::uint32_t name = 0;  // its name in JobList::names (UTF-8, as messages show it)
  std::uint32_t name_len = 0;
  std::uint32_t tail_len = 0;  // the end of its name that is its path under its folder
  std::uint32_t root_len = 0;  // the start of its name that names its run folder
  std::uint32_t obj = 0;       // its OBJ's name there, once named
  std::uint32_t obj_len = 0;
  std::uint32_t failure = 0;         // 1 + its index in JobList::failures; 0 while it may convert
  std::uint32_t ledger = kNoLedger;  // the ledger its OBJ belongs to
  // The one look at the model: what it is, its identity, size and time.
  FileLook::Kind kind = FileLook::kMissing;
  std::uint16_t look_error = 0;  // errno value of a look that failed
  bool model = true;             // false for a PATH that fails as a whole: no model
  bool found = false;            // found under a folder, not named itself
  bool obj_exists = false;       // the OBJ is a regular file, as it was when named
  std::uint64_t bytes = 0;
  std::uint64_t device = 0, inode = 0;
  std::int64_t modified = 0;
  std::uint64_t obj_size = 0;
  std::int64_t obj_modified = 0;
};

// A folder of the run that was walked for models: as named, and the bytes of
// that name that its models' tails keep (those of a listed folder).
struct WalkedFolder {
  std::string name;
  std::size_t kept = 0;
};

struct JobList {
  std::string names;
  std::vector<Job> jobs;
  std::vector<std::string> failures;
  std::vector<WalkedFolder> folders;
  Ledgers ledgers;
};

std::string_view model_name(const JobList& list, const Job& job);
std::string_view obj_name(const JobList& list, const Job& job);
// The reason it is not converted; empty while it may be.
const std::string& failure_of(const JobList& list, const Job& job);
// The look at the model, as opening it takes it.
ModelLook model_look(const Job& job);

// Told now and then while the models are being found: how many so far.
using FindProgress = std::function<void(std::size_t found)>;

// The models under `paths` in the run's order: each path as given, and the
// models found under a folder sorted by their path, byte for byte; then those
// of `listed` (a list of models and folders), where a relative path without
// ".." keeps its whole path under -d, as rsync's --files-from does, and any
// other its last part.
JobList collect_models(const std::vector<std::string>& paths, const Settings& options,
                       const FindProgress& progress = nullptr,
                       const std::vector<std::string>& listed = {});

// A name under a folder as messages show it: "art" and "units/a.mdx" give
// "art/units/a.mdx" (on Windows with "\\").
std::string joined_name(const std::string& folder, const std::filesystem::path& relative);

// The path by which a model is split between shards: its path under the
// folder it was found in, or as named, with "/" between folders.
std::string shard_path(const JobList& list, const Job& job);

// A model of this shard path is in part options.shard of options.shards (all
// of them where the run is not split).
bool in_shard(const std::string& shard_path, const Settings& options);

// Keeps part options.shard of options.shards: the models whose shard path's
// FNV-1a hash (64 bits) modulo the number of parts is K - 1, so that the same
// tree splits the same wherever it is mounted and a new model moves no other.
// A PATH that fails as a whole is part 1's.
void keep_shard(JobList* list, const Settings& options);

// The OBJ name of a model named `model` (UTF-8, as shown) whose path under its
// folder is its last `tail` bytes.
std::string obj_name_of(const std::string& model, std::size_t tail, const Settings& options);

// Names every model's OBJ file. A model named twice whose OBJ is the same
// file is dropped from the run after its first place; a model whose OBJ would
// replace that of another, or is or leads to one of the run's models, is
// refused.
void name_obj_files(JobList* list, const Settings& options);

// The folders of the run (models found under a PATH have it; a model named
// or listed, its own folder), and the run folder of each job, by job.
void find_run_folders(const JobList& list, RunFolders* folders, std::vector<std::uint32_t>* of_job);

// The images that earlier runs of this version made, as the ledgers that a
// run with -u read list them.
void images_made_before(const JobList& list, MadeImages* made);

// The ledger of reruns of each OBJ: the nearest one at or above its folder;
// with -u, where there is none, one made in the output root (the -d folder,
// the folder named, or for a model named itself its OBJ's folder). A run with
// -u reads them.
void find_ledgers(JobList* list, const Settings& options);
