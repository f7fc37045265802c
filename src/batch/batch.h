// The models of one command-line run: found under the paths the user named,
// their OBJ names worked out and checked against each other before anything
// is converted, converted by several jobs at once, with a status line on a
// terminal and a tally at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "convert/convert.h"

struct BatchOptions {
  bool recursive = false;                 // a folder is walked to every depth
  bool objects = false;                   // an "o" record before each geoset
  bool quiet = false;                     // failures only
  std::optional<std::string> output;      // -o: the one model's OBJ ("-": standard output)
  std::optional<std::string> output_dir;  // -d: the OBJ files go under it
  unsigned jobs = 1;
  // The status line is rewritten at most this often.
  std::chrono::milliseconds status_every{100};
};

// One entry of the run, in the run's order: a model, or a path that fails
// before anything is converted (a folder without -r, a folder without models,
// a link that leads nowhere, an OBJ that would replace another's), with its
// failure line.
struct BatchItem {
  FileName model;
  FileName obj;
  std::string from_folder;  // the folder (as named) it was found under; empty when named itself
  std::string relative;     // its path under that folder, in UTF-8
  std::uint64_t bytes = 0;  // its size, for the share of the run read
  std::uint64_t device = 0, inode = 0;  // the model file's identity, when it exists
  bool exists = false;
  std::string failure;  // the reason it is not converted, when it is not
};

// The models under `paths` in the run's order: each path as given, and the
// models found under a folder sorted by their path, byte for byte.
std::vector<BatchItem> collect_models(const std::vector<std::string>& paths,
                                      const BatchOptions& options);

// Names every model's OBJ file. A model named twice whose OBJ is the same
// file is dropped from the run after its first place; a model whose OBJ would
// replace that of another, or is or leads to one of the run's models, is
// refused.
void name_obj_files(std::vector<BatchItem>* items, const BatchOptions& options);

// Converts the items with options.jobs jobs at once; each model's line (its
// summary or its failure) goes to `diag` whole and in the run's order. With
// `status_columns` above zero `diag` is a terminal that wide, and a status
// line is kept on it. Returns the run's exit status. An interruption ends it
// early: the models not converted by then are counted as not started.
int run_batch(std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
              std::ostream& diag, int status_columns);

// The status line: models done of the total, the share of the run's bytes
// read, the speed, and the model now being converted; cut to `columns` - 1.
std::string status_text(std::size_t done, std::size_t total, std::uint64_t bytes_read,
                        std::uint64_t bytes_total, double seconds, const std::string& current,
                        int columns);

struct Tally {
  std::size_t converted = 0, failed = 0, not_started = 0;
  std::uint64_t obj_bytes = 0;
};

// The last line of a run: "2,000 models: 1,998 converted, 2 failed (4.1 s,
// 180 MB of OBJ)", a count after "converted" only where it is not zero.
std::string tally_line(const Tally& tally, double seconds);
