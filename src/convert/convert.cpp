#include "convert/convert.h"

#include <cerrno>
#include <cfloat>
#include <cstdlib>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/output_file.h"
#include "common/utf8.h"
#include "convert/convert_steps.h"
#include "obj/obj_file.h"

namespace {

#ifdef _WIN32
constexpr bool kLineEndsGrow = true;  // each line end is stored as two bytes
#else
constexpr bool kLineEndsGrow = false;
#endif

std::string counted(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// False where the images stopped the model: interrupted, or one not written.
bool materials_ok(Converted* done) {
  const MaterialsMade& made = done->materials;
  done->stopped = made.stopped;
  if (made.failure.why.empty()) return !made.stopped;
  done->failure = made.failure;
  return false;
}

// Lends a job's buffers to one model's source and sink, and takes them back
// however the conversion ends. Declared after both, so that it ends first.
struct Lent {
  JobBuffers* buffers;
  ModelSource& src;
  ObjSink& sink;
  Lent(JobBuffers* b, ModelSource& s, ObjSink& k) : buffers(b), src(s), sink(k) {
    if (!buffers) return;
    src.window.swap(buffers->window);
    if (buffers->block) sink.capacity = kObjBufferSize;
    sink.buffer = std::move(buffers->block);
  }
  ~Lent() {
    if (!buffers) return;
    src.window.swap(buffers->window);
    if (sink.capacity == kObjBufferSize) buffers->block = std::move(sink.buffer);
  }
  Lent(const Lent&) = delete;
  Lent& operator=(const Lent&) = delete;
};

// The chunk walk, and with materials the model's images claimed and its own
// made; false where the model fails before its OBJ is begun.
bool read_chunks(const Settings& settings, const Conversion& job, ModelSource* src,
                 ModelChunks* chunks, Converted* done) {
  if (!walk_model_chunks(job, src, chunks, done)) return false;
  if (!settings.materials) return true;
  MaterialsMade& made = done->materials;
  if (!chunks->unfit.empty()) made.warnings.push_back("materials not read: " + chunks->unfit);
  begin_materials(settings, textures_of(job), job.order, *chunks, job.model.path, job.obj.shown,
                  job.run_folder, &made);
  return materials_ok(done);
}

// The sink attached to the OBJ: standard output, or the OBJ's files begun.
// A small model converts in a moment: threads of its own would cost more
// than they save.
bool open_obj(const Settings& settings, const ModelSource& src, std::ostream& out, ObjFiles* files,
              ObjSink* sink, Converted* done) {
  int threads = settings.format_threads > 1 ? settings.format_threads : 1;
  if (!settings.writer_thread || source_size(src) < kWriterThreadFrom) threads = 0;
  if (settings.to_stdout) {
    attach_obj_sink(sink, out.rdbuf(), kObjBufferSize, threads, settings);
    return true;
  }
  if (!open_obj_files(files, src.look, settings.output_dir.has_value(), settings.materials,
                      &done->failure)) {
    return false;
  }
  done->obj_bytes = files->head_bytes;
  done->mtl = files->mtl.shown;
  done->mtl_file = files->mtl.file;
  attach_obj_sink(sink, &files->file, kObjBufferSize, threads, settings);
  return true;
}

// The OBJ's files put in place, and the OBJ looked at where the caller needs
// to know it as stored.
bool commit_obj(const Conversion& job, const ModelSource& src, const ObjSink& sink, ObjFiles* files,
                Converted* done) {
  const MaterialsMade& made = done->materials;
  if (!commit_obj_files(files, src.look, made.plan, made.maps, sink.used_no_material,
                        &done->failure)) {
    return false;
  }
  int code = 0;
  if ((job.look_at_obj || kLineEndsGrow) &&
      g_file_calls.look(files->file.name, true, &done->obj, &code)) {
    done->obj_bytes = done->obj.size;
  }
  return true;
}

}  // namespace

const RunTextures& textures_of(const Conversion& job) {
  static const RunTextures none;
  return job.textures ? *job.textures : none;
}

Failure& fail(Converted* done, const std::string& name, const std::string& why) {
  done->failure.name = name;
  done->failure.why = why;
  return done->failure;
}

// The model opened and, where the settings need one, a geoset found.
bool open_model(const Settings& settings, const Conversion& job, ModelSource* src,
                Converted* done) {
  std::string err;
  if (!open_model_source(src, job.model.path, job.seen, &err)) {
    done->open_failed = true;
    fail(done, job.model.shown, err);
    return false;
  }
  src->reached = job.reached;
  if (settings.geosets_needed && !find_geosets(*src, &err)) {
    done->stopped = interrupted();
    fail(done, job.model.shown, err);
    return false;
  }
  return true;
}

bool walk_model_chunks(const Conversion& job, ModelSource* src, ModelChunks* chunks,
                       Converted* done) {
  std::string err;
  // The walk reads far ahead: a status line would show the model as read.
  std::atomic<std::uint64_t>* reached = src->reached;
  src->reached = nullptr;
  const bool read = walk_chunks(*src, chunks, &err);
  src->reached = reached;
  if (!read) {
    done->stopped = interrupted();
    fail(done, job.model.shown, err);
    return false;
  }
  return true;
}

std::string shown_name(std::string name) {
#ifdef _WIN32
  for (char& c : name) c = c == '/' ? '\\' : c;
#endif
  return name;
}

std::string printable_name(const std::string& name) {
  const std::string shown = shown_name(name);
  std::string out;
  for (std::size_t at = 0; at < shown.size();) {
    char32_t c = 0;
    const std::size_t n = utf8_char(shown, at, &c);
    if (n == 0) {  // no part of valid UTF-8: the byte stands, as the name has it
      out += shown[at++];
      continue;
    }
    out += is_control(c) ? std::string("?") : shown.substr(at, n);
    at += n;
  }
  return out;
}

std::string slashed_name(std::string name) {
  for (char& c : name) c = c == '\\' ? '/' : c;
  return name;
}

std::string failure_line(const std::string& name, const std::string& why) {
  return "mdx2obj: " + (name.empty() ? std::string("\"\"") : printable_name(name)) + ": " + why;
}

int tell_failure(std::ostream& diag, const std::string& name, const std::string& why) {
  diag << failure_line(name, why) << std::endl;
  return kExitFailure;
}

bool find_geosets(ModelSource& src, std::string* why) {
  std::uint64_t first;
  if (find_tag(src, kVertexTag, 0, &first)) return true;
  *why =
      io_failed(src) ? "read failed near offset " + std::to_string(tell(src)) : "no geosets found";
  return false;
}

bool walk_and_flush(ModelSource& src, ObjSink& sink, std::ostream& console, std::string* why,
                    WalkCounts* counts, const ModelChunks* chunks) {
  const bool walked = convert_geosets(src, sink, console, why, counts, chunks);
  std::string flush_err;
  const bool flushed = close_obj_sink(sink, &flush_err);
  close_model_source(src);
  // A failed write wins: the walk stops at it, and its reason is the sink's.
  if (!flushed) *why = flush_err;
  return walked && flushed;
}

Converted convert_model(const Settings& settings, const Conversion& job, std::ostream& console,
                        std::ostream& out) {
  if (settings.format == OutputFormat::kGlb) return convert_to_glb(settings, job, out);
  Converted done;
  ModelSource src;
  ModelChunks chunks;
  ObjFiles files;  // before the sink, whose threads write to it
  files.shown = job.obj.shown;
  files.path = job.obj.path;
  ObjSink sink;
  Lent lent(job.buffers, src, sink);
  if (!open_model(settings, job, &src, &done) ||
      (settings.chunk_walk && !read_chunks(settings, job, &src, &chunks, &done)) ||
      !open_obj(settings, src, out, &files, &sink, &done)) {
    return done;
  }
  std::string why;
  const ModelChunks* materials = settings.materials ? &chunks : nullptr;
  bool walked = walk_and_flush(src, sink, console, &why, &done.counts, materials);
  done.obj_bytes += sink.written;
  if (walked && !chunks.cut.empty()) {
    // The geometry seemed whole, but the chunks say the file was cut.
    walked = false;
    why = chunks.cut;
  }
  const std::string obj = settings.to_stdout ? "standard output" : job.obj.shown;
  if (interrupted()) {
    done.stopped = true;
    return done;  // the file's destructor removes what was written
  }
  if (!walked && sink.failed()) {
    // The file knows why a write fell short; the sink only that it did.
    const OutputFile& file = files.file;
    fail(&done, obj, file.error.empty() ? why : file.error).file_system = file.file_system_fault;
    done.output_closed = settings.to_stdout && output_is_pipe();
    return done;
  }
  if (materials) {
    // The images of other jobs, waited for only now that this OBJ is written.
    end_materials(textures_of(job), chunks, job.obj.path, &done.materials);
    if (!materials_ok(&done)) return done;
  }
  if (!settings.to_stdout && !commit_obj(job, src, sink, &files, &done)) return done;
  return end_conversion(&done, job, settings.to_stdout, walked, why, obj);
}

Converted& end_conversion(Converted* done, const Conversion& job, bool to_stdout, bool walked,
                          const std::string& why, const std::string& output_shown) {
  if (!walked) {
    // Every whole record before the cut is kept, and the line says so.
    done->partial = !to_stdout;
    fail(done, job.model.shown,
         to_stdout ? why : why + " (" + shown_name(output_shown) + " is partial)");
    return *done;
  }
  done->ok = true;
  return *done;
}

// A decimal number read whole ("0.01", ".5", "2.54e-2"): no sign but "+", no
// hex, no "inf" or "nan", nothing after it.
bool read_scale(const std::string& text, double* scale) {
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !(value >= FLT_MIN && value <= FLT_MAX)) return false;
  *scale = value;
  return true;
}

std::string obj_name_for(const std::string& model) {
  return output_name_for(model, OutputFormat::kObj);
}

std::string output_name_for(const std::string& model, OutputFormat format) {
  return std::filesystem::u8path(model).replace_extension(format_extension(format)).u8string();
}

std::string model_line(const std::string& model, const std::string& obj, const std::string& what) {
  return printable_name(model) + " -> " + printable_name(obj) + ": " + what;
}

std::string summary_line(const std::string& model, const std::string& obj,
                         const WalkCounts& counts) {
  return model_line(model, obj,
                    counted(counts.geosets, "geoset", "geosets") + ", " +
                        counted(counts.vertices, "vertex", "vertices") + ", " +
                        counted(counts.triangles, "triangle", "triangles"));
}
