// The models of one command-line run: found under the paths the user named,
// their OBJ names worked out and checked against each other before anything
// is converted, converted by several jobs at once, with a status line on a
// terminal and a tally at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "convert/convert.h"

struct BatchOptions {
  bool recursive = false;                 // a folder is walked to every depth
  bool objects = false;                   // an "o" record before each geoset
  bool y_up = false;                      // --up y: positions and normals as (x, z, -y)
  double scale = 1.0;                     // --scale: positions multiplied by it
  int quiet = 0;                          // 1: failures, status line and tally; 2: failures only
  std::optional<std::string> output;      // -o: the one model's OBJ ("-": standard output)
  std::optional<std::string> output_dir;  // -d: the OBJ files go under it
  unsigned jobs = 1;
  int format_threads = 1;  // threads that format a large model's text, with one job
  bool update = false;     // -u: only the models whose OBJ is not up to date
  bool dry_run = false;    // -n: with -u, tell what would be converted and why, write nothing
  bool json = false;       // --json: results as JSON lines on standard output
  std::optional<std::string> files_from;  // a list of models ("-": standard input)
  bool null_separated = false;            // -0: the list's paths end with NUL bytes
  unsigned shard = 0, shards = 0;         // --shard K/N: part K (from 1) of N
  // The status line is rewritten at most this often.
  std::chrono::milliseconds status_every{100};
};

// One entry of the run, in the run's order: a model, or a PATH that fails as
// a whole (a folder without -r, a folder without models or that cannot be
// read), with its failure line. Kept small: a run of 100,000 models holds
// 100,000 of these, their names in one buffer.
struct BatchItem {
  std::size_t name = 0;  // its name in BatchList::names (UTF-8, as messages show it)
  std::uint32_t name_len = 0;
  std::uint32_t relative_len = 0;  // the end of its name that is its path under its folder
  std::size_t obj = 0;             // its OBJ's name there, once named
  std::uint32_t obj_len = 0;
  std::uint32_t failure = 0;  // 1 + its index in BatchList::failures; 0 while it may convert
  std::uint64_t bytes = 0;    // its size, for the share of the run read
  std::uint64_t device = 0, inode = 0;  // the model file's identity, when it exists
  std::int64_t modified = 0;            // the model file's time of change
  bool exists = false;
  bool model = true;   // false for a PATH that fails as a whole: not counted as a model
  bool found = false;  // found under a folder, not named itself
};

struct BatchList {
  std::string names;
  std::vector<BatchItem> items;
  std::vector<std::string> failures;
};

std::string model_name(const BatchList& list, const BatchItem& item);
std::string obj_name(const BatchList& list, const BatchItem& item);
// The reason it is not converted; empty while it may be.
const std::string& failure_of(const BatchList& list, const BatchItem& item);

// Told now and then while the models are being found: how many so far.
using FindProgress = std::function<void(std::size_t found)>;

// The models under `paths` in the run's order: each path as given, and the
// models found under a folder sorted by their path, byte for byte; then those
// of `listed` (a list of models), where a relative path without ".." keeps
// its whole path under -d, as rsync's --files-from does.
BatchList collect_models(const std::vector<std::string>& paths, const BatchOptions& options,
                         const FindProgress& progress = nullptr,
                         const std::vector<std::string>& listed = {});

// The path by which a model is split between shards: its path under the
// folder it was found in, or as named, with "/" between folders.
std::string shard_path(const BatchList& list, const BatchItem& item);

// Keeps part options.shard of options.shards: the models whose shard path's
// FNV-1a hash (64 bits) modulo the number of parts is K - 1, so that the same
// tree splits the same wherever it is mounted and a new model moves no other.
// A PATH that fails as a whole is part 1's.
void keep_shard(BatchList* list, const BatchOptions& options);

// Names every model's OBJ file. A model named twice whose OBJ is the same
// file is dropped from the run after its first place; a model whose OBJ would
// replace that of another, or is or leads to one of the run's models, is
// refused.
void name_obj_files(BatchList* list, const BatchOptions& options);

// The width of the terminal that gets the status line, asked at each redraw
// so that a resize takes effect; null where there is no terminal.
using Columns = int (*)();

// Converts the items with options.jobs jobs at once; each model's line (its
// summary or its failure) goes to `diag` whole and in the run's order. With
// `columns`, `diag` is that terminal and a status line is kept on it. Returns
// the run's exit status. An interruption ends it early: the models not
// converted by then are counted as not started.
int run_batch(BatchList& list, const BatchOptions& options, std::ostream& out, std::ostream& diag,
              Columns columns);

// Terminal cells that `text` takes (UTF-8): none for a combining mark, two for
// an East Asian wide character and for one of ambiguous width, one for
// anything else; a byte that is not part of valid UTF-8, or a control
// character, is shown as "?" and takes one.
std::size_t text_cells(const std::string& text);

// `text` made fit for the screen in at most `cells` cells: invalid bytes and
// control characters as "?", and when too long, shortened in the middle with
// "...", so that both the folder and the file name stay in view.
std::string fit_cells(const std::string& text, std::size_t cells);

// The status line: models done of the total, the share of the run's bytes
// read, the speed, and the model now being converted; it takes at most
// `columns` - 1 cells, so that it never wraps.
std::string status_text(std::size_t done, std::size_t total, std::uint64_t bytes_read,
                        std::uint64_t bytes_total, double seconds, const std::string& current,
                        int columns);

// The status line while the models are being found.
std::string finding_text(std::size_t found, int columns);

struct Tally {
  std::size_t converted = 0, failed = 0, not_started = 0;
  std::uint64_t obj_bytes = 0;
  std::size_t up_to_date = 0;
  std::size_t would_convert = 0;  // -n: told, not converted, and not in the tally
  bool path_failed = false;       // a PATH failed as a whole: a failure, but no model
};

// The status line on a terminal. Text is written above it and the line drawn
// again below; it is taken off by as many spaces as it took cells, so that
// nothing of it is left.
struct StatusLine {
  std::ostream& out;
  std::size_t cells = 0;  // of the line now on the screen
};

// Takes the line off, writes `text`, and draws `line` ("" for none).
void show_status(StatusLine* status, const std::string& text, const std::string& line);

// The last line of a run: "2,000 models: 1,998 converted, 2 failed (4.1 s,
// 180 MB of OBJ)", a count after "converted" only where it is not zero.
std::string tally_line(const Tally& tally, double seconds);

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t n);
