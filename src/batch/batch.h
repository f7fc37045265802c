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

#include "front/front.h"

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

// Reads the options and paths of a command line (after the program's name).
// Returns kGoOn when there is a run to make, else the exit status of one that
// ends here: the help or the version on `out`, or a usage error on `diag`.
constexpr int kGoOn = -1;
int parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                       BatchOptions* options, std::vector<std::string>* paths);

// One entry of the run, in the run's order: a model, or a path that fails
// before anything is converted (a folder without -r, a folder without models,
// an OBJ that would replace another's), with its failure line.
struct BatchItem {
  FileName model;
  FileName obj;
  std::string from_folder;  // the folder (as named) it was found under; empty when named itself
  std::string relative;     // its path under that folder, in UTF-8
  std::uint64_t bytes = 0;  // its size, for the share of the run read
  std::string failure;      // the reason it is not converted, when it is not
};

// The models under `paths` in the run's order: each path as given, and the
// models found under a folder sorted by their path, byte for byte.
std::vector<BatchItem> collect_models(const std::vector<std::string>& paths,
                                      const BatchOptions& options);

// Names every model's OBJ file, and refuses each model whose OBJ would replace
// that of an earlier one or one of the run's models.
void name_obj_files(std::vector<BatchItem>* items, const BatchOptions& options);

// Converts the items with options.jobs jobs at once; each model's line (its
// summary or its failure) goes to `diag` whole and in the run's order. With
// `status_columns` above zero `diag` is a terminal that wide, and a status
// line is kept on it. Returns the run's exit status.
int run_batch(std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
              std::ostream& diag, int status_columns);

// The status line: models done of the total, the share of the run's bytes
// read, the speed, and the model now being converted; cut to `columns` - 1.
std::string status_text(std::size_t done, std::size_t total, std::uint64_t bytes_read,
                        std::uint64_t bytes_total, double seconds, const std::string& current,
                        int columns);

// The last line of a run of more than one model.
std::string tally_line(std::size_t converted, std::size_t failed, double seconds,
                       std::uint64_t obj_bytes);
