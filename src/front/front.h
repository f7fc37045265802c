// The program's entry: the console dialogue, the command line, and the one
// conversion path that both share.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "common/file_identity.h"
#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"

enum ExitStatus {
  kExitSuccess = 0,
  kExitFailure = 1,
  kExitUsage = 2,
};

// A console pastes a dropped or copied path in quotes, and no file name on
// Windows holds a double quote: an answer in one pair of matching quotes that
// names no existing file is taken without them.
std::string unquoted(const std::string& answer, NameBytes bytes);

// Prints the prompt and reads one answer: the whole line without its newline
// (and without a carriage return just before it), unquoted. At the end of the
// input the answer is what came before the end; every later answer is empty.
void read_file_name(std::istream& in, std::ostream& console, const char* prompt, std::string* name);

// Runs the dialogue and one conversion. Progress goes to `console`; a failure
// other than a model that cannot be opened is told in one line on `diag`.
// With `console_answers` the answers are read from the Windows console as wide
// characters instead of from `in`.
int run_converter(std::istream& in, std::ostream& console, std::ostream& diag,
                  bool console_answers = false);

// Runs the command line (the arguments after the program's name, in UTF-8).
// OBJ text of "-o -", the help and the version go to `out`; summaries and
// failures to `diag`. With `status_columns` above zero `diag` is a terminal
// that wide, which gets a status line. `dropped`: the paths were dropped onto
// the program, and a folder among them is converted as with -r.
int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                     int status_columns = 0, bool dropped = false);

constexpr std::uint64_t kWriterThreadFrom = std::uint64_t(1) << 20;

// A file as the user named it, for messages, and as the file system knows it.
struct FileName {
  std::string shown;
  std::filesystem::path path;
};

struct Conversion {
  FileName model;
  FileName obj;
  bool to_stdout = false;       // the OBJ text goes to `out` instead
  bool objects = false;         // an "o" record before each geoset
  bool silent_open = false;     // a model that cannot be opened ends the run without a word
  bool geosets_needed = false;  // a model without geosets fails before the OBJ is created
  bool make_folders = false;    // the OBJ's folders are created as needed
  bool writer_thread = true;    // a model of kWriterThreadFrom bytes or more has its OBJ
                                // written by a thread of its own while it is formatted
  std::atomic<std::uint64_t>* reached =
      nullptr;  // how far the model has been read, for a status line
};

// Converts one model: opens it, refuses an OBJ that is the model itself,
// walks it and closes both files. Progress lines go to `console`, failures in
// one line to `diag`.
int convert_model(const Conversion& job, std::ostream& console, std::ostream& out,
                  std::ostream& diag, WalkCounts* counts);

// The steps of a conversion that do not depend on where the model and the
// OBJ text live, for models that are not files (the web page).
// One failure line: "mdx2obj: NAME: WHY"; returns kExitFailure.
int report(std::ostream& diag, const std::string& name, const std::string& why);
// False, with the reason, when the model holds no geoset at all (or cannot be
// read to its end): checked before any OBJ text is made.
bool find_geosets(ModelSource& src, std::string* why);
// Walks the model into the sink, then flushes and closes both and reports a
// failure, naming the model or the OBJ.
int finish_conversion(ModelSource& src, ObjSink& sink, const std::string& model,
                      const std::string& obj, std::ostream& console, std::ostream& diag,
                      WalkCounts* counts);
// The OBJ file beside a model (names in UTF-8): its extension replaced by
// .obj, "art/unit.mdx" gives "art/unit.obj" and "unit" gives "unit.obj".
std::string obj_name_for(const std::string& model);
// The command line's summary of one model: "unit.mdx -> unit.obj: 2 geosets,
// 7 vertices, 3 triangles".
std::string summary_line(const std::string& model, const std::string& obj,
                         const WalkCounts& counts);
