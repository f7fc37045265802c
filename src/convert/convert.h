// The one conversion path, below both the dialogue and the command line: a
// model in, an OBJ out, what became of it and the names it goes by.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/file_calls.h"
#include "common/output_format.h"
#include "common/settings.h"
#include "convert/materials.h"
#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"
#include "obj/obj_style.h"

enum ExitStatus {
  kExitSuccess = 0,
  kExitFailure = 1,
  kExitUsage = 2,
};

constexpr std::uint64_t kWriterThreadFrom = std::uint64_t(1) << 20;

// A file as the user named it, for messages, and as the file system knows it.
struct FileName {
  std::string shown;
  std::filesystem::path path;
};

// What one job keeps from one model to the next, so that a small model takes
// no fresh memory from the system (each fresh block costs page faults): the
// model's window and the OBJ's block.
struct JobBuffers {
  std::vector<char> window;
  std::unique_ptr<char[]> block;
};

// One model.
struct Conversion {
  FileName model;
  FileName obj;
  const ModelLook* seen = nullptr;                // the caller's look at the model, where it looked
  bool look_at_obj = false;                       // the OBJ as stored is looked at once in place
  std::atomic<std::uint64_t>* reached = nullptr;  // how far the model has been read
  JobBuffers* buffers = nullptr;  // lent to this conversion, when the caller keeps some
  std::size_t order = 0;          // its place in the run, the order its images are claimed in
  const RunFolder* run_folder = nullptr;  // the run folder it was found in or named from
  const RunTextures* textures = nullptr;  // the run's, for its materials and images
};

// What became of one model.
struct Converted {
  bool ok = false;
  bool stopped = false;      // an interruption stopped it: nothing of it kept, nothing to tell
  bool open_failed = false;  // the model could not be opened
  bool partial = false;      // it failed, but left the OBJ of its whole records
  // The reader of standard output left (on Windows, a failed write to a
  // pipe): the failure is one without a word, as cat's.
  bool output_closed = false;
  Failure failure;  // why it failed, and the file its line names
  FileLook obj;     // the OBJ as stored, when looked at
  WalkCounts counts;
  std::uint64_t obj_bytes = 0;     // the OBJ text, as stored
  std::string mtl;                 // the MTL written beside the OBJ, as shown
  std::filesystem::path mtl_file;  // and as the file system knows it
  MaterialsMade materials;         // its images and warnings
};

// Converts one model: opens it, walks it into a temporary file beside the
// OBJ (never into the model itself) and puts that in place of the OBJ.
// Progress lines go to `console`, the OBJ text of `to_stdout` to `out`.
Converted convert_model(const Settings& settings, const Conversion& job, std::ostream& console,
                        std::ostream& out);

// One failure line: "mdx2obj: NAME: WHY".
std::string failure_line(const std::string& name, const std::string& why);
// Writes it to `diag`; returns kExitFailure.
int tell_failure(std::ostream& diag, const std::string& name, const std::string& why);
// False, with the reason, when the model holds no geoset at all (or cannot be
// read to its end): checked before any OBJ text is made.
bool find_geosets(ModelSource& src, std::string* why);
// Walks the model into the sink and flushes it; false with the reason (which
// names nothing). Where the sink failed, the OBJ side failed.
bool walk_and_flush(ModelSource& src, ObjSink& sink, std::ostream& console, std::string* why,
                    WalkCounts* counts, const ModelChunks* chunks = nullptr);
// A scale (--scale, the page's) read whole: a decimal number ("0.01", ".5",
// "2.54e-2") from the smallest normal float to the largest, so that no
// position becomes 0 or an infinity by it alone; false for anything else.
bool read_scale(const std::string& text, double* scale);
// What read_scale takes, for its messages.
constexpr char kScaleRange[] = "a decimal number from 1.2e-38 to 3.4e+38";
// The OBJ file beside a model (names in UTF-8): its extension replaced by
// .obj, "art/unit.mdx" gives "art/unit.obj" and "unit" gives "unit.obj".
std::string obj_name_for(const std::string& model);
// The same for either format: ".glb" in place of ".obj" for a GLB.
std::string output_name_for(const std::string& model, OutputFormat format);
// A name as messages show it: on Windows with one separator, "\".
std::string shown_name(std::string name);
// A name as a line of text shows it: shown_name, and every control character
// (C0, DEL, C1) as "?", so that no name breaks a line or moves the cursor.
std::string printable_name(const std::string& name);
// A name with "/" between folders on every system: a portable key.
std::string slashed_name(std::string name);
// A model's line on the command line: "unit.mdx -> unit.obj: WHAT".
std::string model_line(const std::string& model, const std::string& obj, const std::string& what);
// The command line's summary of one model: "unit.mdx -> unit.obj: 2 geosets,
// 7 vertices, 3 triangles".
std::string summary_line(const std::string& model, const std::string& obj,
                         const WalkCounts& counts);
