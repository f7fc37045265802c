#include <system_error>

#include "front/console.h"
#include "front/front.h"
#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"

int report(std::ostream& diag, const std::string& name, const std::string& why) {
  diag << "mdx2obj: " << (name.empty() ? "\"\"" : name) << ": " << why << std::endl;
  return kExitFailure;
}

bool find_geosets(ModelSource& src, std::string* why) {
  std::uint64_t first;
  if (find_tag(src, kVertexTag, 0, &first)) return true;
  *why =
      io_failed(src) ? "read failed near offset " + std::to_string(tell(src)) : "no geosets found";
  return false;
}

int finish_conversion(ModelSource& src, ObjSink& sink, const std::string& model,
                      const std::string& obj, std::ostream& console, std::ostream& diag,
                      WalkCounts* counts) {
  std::string err, close_err;
  WalkResult result = convert_geosets(src, sink, console, &err, counts);
  bool closed = close_obj_sink(sink, &close_err);
  close_model_source(src);
  if (result == WalkResult::kInputFailed) return report(diag, model, err);
  if (result == WalkResult::kOutputFailed) return report(diag, obj, err);
  if (!closed) return report(diag, obj, close_err);
  if (counts) counts->obj_bytes = sink.written;
  return kExitSuccess;
}

int convert_model(const Conversion& job, std::ostream& console, std::ostream& out,
                  std::ostream& diag, WalkCounts* counts) {
  std::string err;
  ModelSource src;
  if (!open_model_source(&src, job.model.path, &err)) {
    return job.silent_open ? kExitFailure : report(diag, job.model.shown, err);
  }
  src.reached = job.reached;
  if (job.geosets_needed && !find_geosets(src, &err)) return report(diag, job.model.shown, err);
  // Creating the output would empty the model before it is read.
  if (!job.to_stdout && same_file(job.model.path, job.obj.path)) {
    return report(diag, job.obj.shown, "is the model file itself; refusing to overwrite it");
  }

  if (job.make_folders && job.obj.path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(job.obj.path.parent_path(), ec);
    if (ec) return report(diag, job.obj.shown, "cannot create its folder: " + ec.message());
  }

  // A small model converts in a moment: a thread of its own would cost more
  // than it saves.
  const bool writer_thread = job.writer_thread && source_size(src) >= kWriterThreadFrom;
  ObjSink sink;
  if (job.to_stdout) {
    attach_obj_sink(&sink, out.rdbuf(), kObjBufferSize, writer_thread);
  } else if (!open_obj_sink(&sink, job.obj.path, &err, writer_thread)) {
    return report(diag, job.obj.shown, err);
  }
  sink.objects = job.objects;
  int status =
      finish_conversion(src, sink, job.model.shown,
                        job.to_stdout ? "standard output" : job.obj.shown, console, diag, counts);
  if (counts && !job.to_stdout && status == kExitSuccess) {
    // The file as stored: on Windows each line end is two bytes.
    std::error_code ec;
    std::uintmax_t stored = std::filesystem::file_size(job.obj.path, ec);
    if (!ec) counts->obj_bytes = stored;
  }
  return status;
}

std::string unquoted(const std::string& answer, NameBytes bytes) {
  if (answer.size() < 2 || answer.front() != answer.back()) return answer;
  if (answer.front() != '"' && answer.front() != '\'') return answer;
  std::error_code ec;
  if (std::filesystem::exists(native_name(answer, bytes), ec)) return answer;
  return answer.substr(1, answer.size() - 2);
}

void read_file_name(std::istream& in, std::ostream& console, const char* prompt,
                    std::string* name) {
  console << prompt << std::flush;
  name->clear();
  if (!std::getline(in, *name)) return;
  bool ended_by_newline = !in.eof();
  if (ended_by_newline && !name->empty() && name->back() == '\r') name->pop_back();
  *name = unquoted(*name, NameBytes::kCodePage);
}

int run_converter(std::istream& in, std::ostream& console, std::ostream& diag,
                  bool console_answers) {
  console << "Quarnex MDX -> OBJ File Converter" << std::endl;
  const NameBytes bytes = console_answers ? NameBytes::kUtf8 : NameBytes::kCodePage;
  Conversion job;
  for (FileName* name : {&job.model, &job.obj}) {
    const char* prompt = name == &job.model ? "Enter MDX Filename: " : "Enter OBJ Filename: ";
    if (console_answers) {
      console << prompt << std::flush;
      if (read_console_line(&name->shown)) name->shown = unquoted(name->shown, bytes);
    } else {
      read_file_name(in, console, prompt, &name->shown);
    }
    name->path = native_name(name->shown, bytes);
  }
  job.silent_open = true;
  return convert_model(job, console, console, diag, nullptr);
}
