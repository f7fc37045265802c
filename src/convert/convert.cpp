#include "convert/convert.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/output_file.h"

namespace {

std::string counted(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int fault_of(int code) { return is_file_system_fault(code) ? code : 0; }

// Tells a failure in its line, and keeps its reason for the run's results.
void fail(Converted* done, std::ostream& diag, const std::string& name, const std::string& why) {
  report(diag, name, why);
  done->why = why;
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

}  // namespace

std::string shown_name(std::string name) {
#ifdef _WIN32
  for (char& c : name) c = c == '/' ? '\\' : c;
#endif
  return name;
}

int report(std::ostream& diag, const std::string& name, const std::string& why) {
  diag << "mdx2obj: " << (name.empty() ? "\"\"" : shown_name(name)) << ": " << why << std::endl;
  return kExitFailure;
}

bool find_geosets(ModelSource& src, std::string* why) {
  std::uint64_t first;
  if (find_tag(src, kVertexTag, 0, &first)) return true;
  *why =
      io_failed(src) ? "read failed near offset " + std::to_string(tell(src)) : "no geosets found";
  return false;
}

WalkResult walk_and_flush(ModelSource& src, ObjSink& sink, std::ostream& console, std::string* why,
                          WalkCounts* counts) {
  WalkResult result = convert_geosets(src, sink, console, why, counts);
  std::string flush_err;
  const bool flushed = close_obj_sink(sink, &flush_err);
  close_model_source(src);
  if (result != WalkResult::kOutputFailed && !flushed) {
    *why = flush_err;
    return WalkResult::kOutputFailed;
  }
  if (counts) counts->obj_bytes = sink.written;
  return result;
}

Converted convert_model(const Conversion& job, std::ostream& console, std::ostream& out,
                        std::ostream& diag) {
  Converted done;
  std::string err;
  ModelSource src;
  OutputFile file;  // before the sink, whose thread writes to it
  ObjSink sink;
  Lent lent(job.buffers, src, sink);
  if (!open_model_source(&src, job.model.path, &err)) {
    if (!job.silent_open) fail(&done, diag, job.model.shown, err);
    return done;
  }
  src.reached = job.reached;
  if (job.geosets_needed && !find_geosets(src, &err)) {
    done.stopped = interrupted();
    if (!done.stopped) fail(&done, diag, job.model.shown, err);
    return done;
  }
  // Creating the output would empty the model before it is read.
  if (!job.to_stdout && same_file(job.model.path, job.obj.path)) {
    fail(&done, diag, job.obj.shown, "is the model file itself; refusing to overwrite it");
    return done;
  }
  FileLook folder;
  int code = 0;
  // Most models of a tree share a folder that is there already: one look, and
  // nothing asked of a file system that may be read-only.
  if (job.make_folders && job.obj.path.has_parent_path() &&
      !(g_file_calls.look(job.obj.path.parent_path(), true, &folder, &code) &&
        folder.kind == FileLook::kFolder)) {
    std::error_code ec;
    std::filesystem::create_directories(long_path(job.obj.path.parent_path()), ec);
    if (ec) {
      fail(&done, diag, job.obj.shown, "cannot create its folder: " + ec.message());
      done.output_fault = fault_of(ec.default_error_condition().value());
      return done;
    }
  }

  // A small model converts in a moment: threads of its own would cost more
  // than they save.
  int threads = job.format_threads > 1 ? job.format_threads : 1;
  if (!job.writer_thread || source_size(src) < kWriterThreadFrom) threads = 0;
  if (job.to_stdout) {
    attach_obj_sink(&sink, out.rdbuf(), kObjBufferSize, threads);
  } else if (open_output(&file, job.obj.path, &err, &code)) {
    attach_obj_sink(&sink, &file, kObjBufferSize, threads);
  } else {
    fail(&done, diag, job.obj.shown, err);
    done.output_fault = fault_of(code);
    return done;
  }
  sink.objects = job.objects;
  set_placement(sink, job.y_up, job.scale);
  std::string why;
  const WalkResult result = walk_and_flush(src, sink, console, &why, &done.counts);
  const std::string obj = job.to_stdout ? "standard output" : job.obj.shown;
  if (interrupted()) {
    done.stopped = true;
    return done;  // the file's destructor removes what was written
  }
  if (result == WalkResult::kOutputFailed) {
    fail(&done, diag, obj, why);
    done.output_fault = fault_of(file.code);
    return done;
  }
  if (!job.to_stdout) {
    if (!commit_output(&file, &err, &code)) {
      fail(&done, diag, obj, err);
      done.output_fault = fault_of(code);
      return done;
    }
    // The file as stored: on Windows each line end is two bytes.
    if (g_file_calls.look(file.name, true, &done.obj, &code)) done.counts.obj_bytes = done.obj.size;
  }
  if (result == WalkResult::kInputFailed) {
    // Every whole record before the cut is kept, and the line says so.
    done.partial = !job.to_stdout;
    fail(&done, diag, job.model.shown,
         job.to_stdout ? why : why + " (" + shown_name(obj) + " is partial)");
    return done;
  }
  done.status = kExitSuccess;
  return done;
}

// A decimal number read whole ("0.01", ".5", "2.54e-2"), finite and greater
// than 0: no sign but "+", no hex, no "inf" or "nan", nothing after it.
bool read_scale(const std::string& text, double* scale) {
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !(value > 0) || !std::isfinite(value)) return false;
  *scale = value;
  return true;
}

std::string obj_name_for(const std::string& model) {
  return std::filesystem::u8path(model).replace_extension(".obj").u8string();
}

std::string summary_line(const std::string& model, const std::string& obj,
                         const WalkCounts& counts) {
  return shown_name(model) + " -> " + shown_name(obj) + ": " +
         counted(counts.geosets, "geoset", "geosets") + ", " +
         counted(counts.vertices, "vertex", "vertices") + ", " +
         counted(counts.triangles, "triangle", "triangles");
}
