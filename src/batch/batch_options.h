// What the command line asks of a run of models.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/output_format.h"
#include "obj/obj_style.h"

struct BatchOptions {
  bool recursive = false;                    // a folder is walked to every depth
  OutputFormat format = OutputFormat::kObj;  // --format, or -o NAME.glb
  bool format_given = false;                 // --format: wins over -o's name
  bool up_given = false;                     // --up, which a GLB does not take
  ObjStyle style;                            // --objects, --up, --scale, -m
  std::vector<std::string> textures;         // --textures: folders searched for textures
  int quiet = 0;                             // 1: failures, status line and tally; 2: failures only
  std::optional<std::string> output;         // -o: the one model's OBJ
  bool to_stdout = false;                    // -o -: the OBJ text goes to standard output
  std::optional<std::string> output_dir;     // -d: the OBJ files go under it
  unsigned jobs = 1;
  int format_threads = 1;    // threads that format a large model's text, with one job
  bool update = false;       // -u: only the models whose OBJ is not up to date
  bool dry_run = false;      // -n: with -u, tell what would be converted and why, write nothing
  bool delete_gone = false;  // --delete: with -u, remove the OBJ files of models that are gone
  bool json = false;         // --json: results as JSON lines on standard output
  std::optional<std::string> files_from;  // a list of models ("-": standard input)
  bool null_separated = false;            // -0: the list's paths end with NUL bytes
  unsigned shard = 0, shards = 0;         // --shard K/N: part K (from 1) of N
  // The status line is rewritten at most this often.
  std::chrono::milliseconds status_every{100};
};
