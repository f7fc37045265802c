// What a run is asked to do: one value from the command line (or the page,
// or the dialogue's defaults) down to the writers, decided before the first
// model.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/output_format.h"

struct Settings {
  // What each model becomes.
  OutputFormat format = OutputFormat::kObj;  // --format, or -o NAME.glb
  bool objects = false;                      // --objects: an "o geoset_N" line before each geoset
  bool y_up = false;          // --up y: positions and normals (x, y, z) as (x, z, -y)
  double scale = 1.0;         // --scale: positions multiplied by it, rounded to the nearest float
  bool materials = false;     // -m: "mtllib" and "usemtl" lines, for an MTL beside the OBJ
  unsigned bake = 0;          // --bake HZ: a GLB's curves sampled HZ times a second; 0: as they are
  bool format_given = false;  // --format: wins over -o's name
  bool up_given = false;      // --up, which a GLB does not take
  std::vector<std::string> textures;  // --textures: folders searched for textures
  std::string texture_top;            // where the search upwards stops (the page's data root)

  // Where it goes.
  std::optional<std::string> output;      // -o: the one model's file
  bool to_stdout = false;                 // -o -: the file's bytes go to standard output
  std::optional<std::string> output_dir;  // -d: the files go under it, folders made as needed

  // Which models, and what the run tells of them.
  bool recursive = false;    // a folder is walked to every depth
  int quiet = 0;             // 1: failures, status line and tally; 2: failures only
  bool update = false;       // -u: only the models whose file is not up to date
  bool dry_run = false;      // -n: with -u, tell what would be converted and why, write nothing
  bool delete_gone = false;  // --delete: with -u, remove the files of models that are gone
  bool json = false;         // --json: results as JSON lines on standard output
  std::optional<std::string> files_from;  // a list of models ("-": standard input)
  bool null_separated = false;            // -0: the list's paths end with NUL bytes
  unsigned shard = 0, shards = 0;         // --shard K/N: part K (from 1) of N
  // The status line is rewritten at most this often.
  std::chrono::milliseconds status_every{100};

  // How each model is converted.
  unsigned jobs = 1;
  int format_threads = 1;       // threads that format a large model's text, with one job
  bool writer_thread = true;    // a large model's file is written by a thread of its own
                                // while the next block is made (one job at a time)
  bool geosets_needed = false;  // a model without geosets fails before its file is created
  // The model is read as its chunks lay it out too: a model cut short is told
  // even where the geometry seems whole, and materials are read.
  bool chunk_walk = false;
};
