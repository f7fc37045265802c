// The converter in a web page's worker: the model is a File that the worker
// reads in slices, the OBJ text goes back to the page in blocks, and the
// progress and summary lines as text. The conversion itself is the command
// line's, so that the OBJ bytes are those of `mdx2obj -o - MODEL`, and with
// materials, every file's those of `mdx2obj -m -r FOLDER` (or of
// `mdx2obj --format glb -r FOLDER`).
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

#include "batch/status_text.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "convert/convert.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"

// The worker's side: readModel gives bytes of the File, objBlock and logText
// take a copy of the text out of the module's memory.
EM_JS(void, read_model, (double offset, int length, char* into),
      { HEAPU8.set(Module.readModel(offset, length), into); });
EM_JS(void, obj_block, (const char* text, int length),
      { Module.objBlock(HEAPU8.slice(text, text + length)); });
EM_JS(void, log_text, (const char* text, int length),
      { Module.logText(UTF8ToString(text, length)); });

namespace {

// The dropped File as a seekable stream of known size.
struct FileSlices : std::streambuf {
  double size = 0;
  double pos = 0;

  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode) override {
    double base = dir == std::ios::beg ? 0 : dir == std::ios::cur ? pos : size;
    pos = base + static_cast<double>(off);
    return pos_type(static_cast<off_type>(pos));
  }
  pos_type seekpos(pos_type at, std::ios::openmode which) override {
    return seekoff(off_type(at), std::ios::beg, which);
  }
  std::streamsize xsgetn(char* into, std::streamsize n) override {
    std::streamsize got =
        static_cast<std::streamsize>(std::max(0.0, std::min<double>(n, size - pos)));
    if (got > 0) read_model(pos, static_cast<int>(got), into);
    pos += static_cast<double>(got);
    return got;
  }
};

// Text handed to the worker as it is written: OBJ blocks or log text.
struct ToWorker : std::streambuf {
  void (*take)(const char*, int);

  explicit ToWorker(void (*to)(const char*, int)) : take(to) {}
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    take(text, static_cast<int>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    char one = traits_type::to_char_type(c);
    take(&one, 1);
    return c;
  }
};

}  // namespace

// The size of the module's memory, which the page reports.
extern "C" EMSCRIPTEN_KEEPALIVE double memory_bytes() {
  return static_cast<double>(__builtin_wasm_memory_size(0)) * 65536;
}

namespace {
std::uint64_t last_obj_bytes = 0;
}

// Converts the worker's File of `size` bytes, named `name`, into the OBJ
// `obj_name` (beside the model when empty); 0 on success, 1 on failure. The
// OBJ text written before a failure is whole records. With `progress_lines`
// the log gets each geoset's lines too, as the dialogue prints them.
extern "C" EMSCRIPTEN_KEEPALIVE int convert_file(double size, int objects, const char* name,
                                                 const char* obj_name, int progress_lines, int up_y,
                                                 double scale) {
  FileSlices model;
  model.size = size;
  ToWorker obj_text(obj_block), log(log_text);
  std::ostream console(&log), no_progress(nullptr);
  std::string why, model_name = name, obj = *obj_name ? obj_name : obj_name_for(model_name);
  last_obj_bytes = 0;
  ModelSource src;
  attach_model_source(&src, &model);
  if (!find_geosets(src, &why)) return tell_failure(console, model_name, why);
  // As the command line reads it: a model cut short is told, even where its
  // geometry seems whole.
  ModelChunks chunks;
  if (!walk_chunks(src, &chunks, &why)) return tell_failure(console, model_name, why);
  Settings style;
  style.objects = objects != 0;
  style.y_up = up_y != 0;
  style.scale = scale;
  ObjSink sink;
  // The OBJ text leaves through this thread's own messages: no writer thread.
  attach_obj_sink(&sink, &obj_text, kObjBufferSize, 0, style);
  WalkCounts counts;
  if (!walk_and_flush(src, sink, progress_lines ? console : no_progress, &why, &counts)) {
    return tell_failure(console, sink.failed() ? obj : model_name, why);
  }
  if (!chunks.cut.empty()) return tell_failure(console, model_name, chunks.cut);
  last_obj_bytes = sink.written;
  console << summary_line(model_name, obj, counts) << std::endl;
  return 0;
}

// The OBJ bytes of the last model converted.
extern "C" EMSCRIPTEN_KEEPALIVE double obj_bytes() { return static_cast<double>(last_obj_bytes); }

// The last line of a run of several models, as the command line ends one.
extern "C" EMSCRIPTEN_KEEPALIVE void write_tally(int converted, int failed, double seconds,
                                                 double bytes, int glb) {
  ToWorker log(log_text);
  std::ostream console(&log);
  Tally tally;
  tally.converted = static_cast<std::size_t>(converted);
  tally.failed = static_cast<std::size_t>(failed);
  tally.obj_bytes = static_cast<std::uint64_t>(bytes);
  if (glb) tally.written = "GLB";
  console << tally_line(tally, seconds) << std::endl;
}

// The scale typed on the page, read as the command line reads --scale; 0
// when it is no scale.
extern "C" EMSCRIPTEN_KEEPALIVE double scale_value(const char* text) {
  double scale = 0;
  return read_scale(text, &scale) ? scale : 0;
}

// The OBJ name of a model, as the command line derives it; with `glb`, the
// GLB's.
extern "C" EMSCRIPTEN_KEEPALIVE const char* obj_name(const char* model, int glb) {
  static std::string name;
  name = output_name_for(model, glb ? OutputFormat::kGlb : OutputFormat::kObj);
  return name.c_str();
}

// A model that is not converted, in the command line's words.
extern "C" EMSCRIPTEN_KEEPALIVE void write_failure(const char* name, const char* why) {
  ToWorker log(log_text);
  std::ostream console(&log);
  tell_failure(console, name, why);
}

// The textured run: the page's files, dropped or picked, lie read-only under
// the worker's current folder (a mounted file system of the Files); the
// conversion is the command line's own, with `mdx2obj -m -r FOLDER`'s
// names, and every file it writes beside them (OBJ, MTL, image) goes to the
// worker as it is written instead, which zips it once it is put in place.
EM_JS(void, file_open, (int handle, const char* name),
      { Module.fileOpen(handle, UTF8ToString(name)); });
EM_JS(void, file_block, (int handle, const char* bytes, int length),
      { Module.fileBlock(handle, HEAPU8.slice(bytes, bytes + length)); });
EM_JS(void, file_done, (int handle, const char* name),
      { Module.fileDone(handle, UTF8ToString(name)); });
EM_JS(void, file_drop, (int handle), { Module.fileDrop(handle); });

namespace {

// Handles of the files that go to the worker, far above any descriptor.
constexpr FileHandle kFirstPageFile = 1 << 24;

struct PageFiles {
  FileHandle next = kFirstPageFile;
  std::map<std::string, FileHandle> open;       // by temporary name
  std::map<FileHandle, std::uint64_t> written;  // bytes so far
  std::map<std::string, std::uint64_t> made;    // put in place, by name: their sizes
};
PageFiles page_files;
const FileCalls real_calls = real_file_calls();

bool page_file(FileHandle file) { return file >= kFirstPageFile; }

FileCalls page_calls() {
  FileCalls c = real_calls;
  c.look = [](const std::filesystem::path& name, bool follow, FileLook* look, int* code) {
    auto made = page_files.made.find(name.lexically_normal().string());
    if (made == page_files.made.end()) return real_calls.look(name, follow, look, code);
    *look = FileLook();
    look->kind = FileLook::kRegular;
    look->size = made->second;
    look->inode = fnv1a(made->first);  // no file of the page's has it
    return true;
  };
  c.create_new = [](const std::filesystem::path& name, const FileLook*, int*) {
    const FileHandle file = page_files.next++;
    page_files.open[name.lexically_normal().string()] = file;
    page_files.written[file] = 0;
    file_open(static_cast<int>(file), name.string().c_str());
    return file;
  };
  c.write = c.write_bytes = [](FileHandle file, const char* text, std::size_t n, int* code) {
    if (!page_file(file)) return real_calls.write(file, text, n, code);
    file_block(static_cast<int>(file), text, static_cast<int>(n));
    page_files.written[file] += n;
    return true;
  };
  c.close = [](FileHandle file, int* code) {
    return page_file(file) || real_calls.close(file, code);
  };
  c.rename = [](const std::filesystem::path& from, const std::filesystem::path& to, int* code) {
    auto open = page_files.open.find(from.lexically_normal().string());
    if (open == page_files.open.end()) return real_calls.rename(from, to, code);
    const std::string name = to.lexically_normal().string();
    page_files.made[name] = page_files.written[open->second];
    file_done(static_cast<int>(open->second), name.c_str());
    page_files.open.erase(open);
    return true;
  };
  c.remove = [](const std::filesystem::path& name, int* code) {
    auto open = page_files.open.find(name.lexically_normal().string());
    if (open == page_files.open.end()) return real_calls.remove(name, code);
    file_drop(static_cast<int>(open->second));
    page_files.open.erase(open);
    return true;
  };
  c.read_only = [](const std::filesystem::path&) { return false; };
  return c;
}

// One run of textured conversions: its images made once, its folders read
// once, as the command line's run.
struct PageRun {
  TextureStore store;
  TextureLookup lookup;
  RunFolders folders;
  Settings settings;
  RunTextures textures;
};
std::unique_ptr<PageRun> page_run;

}  // namespace

// Begins a run of `models` models found under `root` (the dropped folder's
// name, "" for picked files), the run's folder and its data root; with `glb`
// of GLB files, as --format glb writes them.
extern "C" EMSCRIPTEN_KEEPALIVE void start_run(int models, const char* root, int objects, int up_y,
                                               double scale, int glb) {
  page_run.reset(new PageRun);
  page_files = PageFiles();
  g_file_calls = page_calls();
  PageRun& run = *page_run;
  std::error_code ec;
  run.folders.cwd = std::filesystem::current_path(ec);
  const std::string folder = *root ? std::string(root) + "/" : "";
  add_run_folder(&run.folders, folder, "");
  start_lookup(&run.lookup, run.folders.cwd);
  start_texture_store(&run.store, static_cast<std::size_t>(models));
  Settings& s = run.settings;
  s.objects = objects != 0;
  s.y_up = up_y != 0;
  s.scale = scale;
  s.materials = true;
  if (glb) {
    s.format = OutputFormat::kGlb;
    s.objects = s.y_up = s.materials = false;
  }
  s.geosets_needed = true;
  s.chunk_walk = true;
  // The OBJ text leaves through this thread's own messages: no writer thread.
  s.writer_thread = false;
  s.texture_top = *root ? root : ".";
  run.textures.run_folders = &run.folders;
  run.textures.store = &run.store;
  run.textures.lookup = &run.lookup;
}

// Converts the run's model number `order`, named `name` (under the current
// folder), into the OBJ `obj` there, shown as `obj_shown`; its lines, as the
// command line prints them, to the log. 0 on success, 1 on failure.
extern "C" EMSCRIPTEN_KEEPALIVE int convert_textured(int order, const char* name, const char* obj,
                                                     const char* obj_shown) {
  PageRun& run = *page_run;
  Conversion job;
  job.model = {name, native_name(name, NameBytes::kUtf8)};
  job.obj = {obj_shown, native_name(obj, NameBytes::kUtf8)};
  job.order = static_cast<std::size_t>(order);
  job.run_folder = &run.folders.all[0];
  job.textures = &run.textures;
  ToWorker log(log_text);
  std::ostream console(&log), none(nullptr);
  last_obj_bytes = 0;
  const Converted done = convert_model(run.settings, job, none, none);
  end_turn(&run.store, job.order);
  for (const std::string& warning : done.materials.warnings) tell_failure(console, name, warning);
  if (!done.ok) return tell_failure(console, done.failure.name, done.failure.why);
  last_obj_bytes = done.obj_bytes;
  console << summary_line(name, obj_shown, done.counts) << std::endl;
  return 0;
}
