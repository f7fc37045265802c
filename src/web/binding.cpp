// The converter in a web page's worker: the model is a File that the worker
// reads in slices, the OBJ text goes back to the page in blocks, and the
// progress and summary lines as text. The conversion itself is the command
// line's, so that the OBJ bytes are those of `mdx2obj -o - MODEL`.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "batch/status_text.h"
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
  ObjStyle style;
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
                                                 double bytes) {
  ToWorker log(log_text);
  std::ostream console(&log);
  Tally tally;
  tally.converted = static_cast<std::size_t>(converted);
  tally.failed = static_cast<std::size_t>(failed);
  tally.obj_bytes = static_cast<std::uint64_t>(bytes);
  console << tally_line(tally, seconds) << std::endl;
}

// The scale typed on the page, read as the command line reads --scale; 0
// when it is no scale.
extern "C" EMSCRIPTEN_KEEPALIVE double scale_value(const char* text) {
  double scale = 0;
  return read_scale(text, &scale) ? scale : 0;
}

// The OBJ name of a model, as the command line derives it.
extern "C" EMSCRIPTEN_KEEPALIVE const char* obj_name(const char* model) {
  static std::string name;
  name = obj_name_for(model);
  return name.c_str();
}

// A model that is not converted, in the command line's words.
extern "C" EMSCRIPTEN_KEEPALIVE void write_failure(const char* name, const char* why) {
  ToWorker log(log_text);
  std::ostream console(&log);
  tell_failure(console, name, why);
}
