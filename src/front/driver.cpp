#include "common/file_identity.h"
#include "front/front.h"
#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"

namespace {

void report(std::ostream& diag, const std::string& name, const std::string& why) {
  diag << "mdx2obj: " << (name.empty() ? "\"\"" : name) << ": " << why << std::endl;
}

}  // namespace

void read_file_name(std::istream& in, std::ostream& console, const char* prompt,
                    std::string* name) {
  console << prompt << std::flush;
  name->clear();
  if (!std::getline(in, *name)) return;
  bool ended_by_newline = !in.eof();
  if (ended_by_newline && !name->empty() && name->back() == '\r') name->pop_back();
}

int run_converter(std::istream& in, std::ostream& console, std::ostream& diag) {
  console << "Quarnex MDX -> OBJ File Converter" << std::endl;
  std::string input_name;
  std::string output_name;
  read_file_name(in, console, "Enter MDX Filename: ", &input_name);
  read_file_name(in, console, "Enter OBJ Filename: ", &output_name);

  // A model that cannot be opened ends the run without a word.
  ModelSource src;
  if (!open_model_source(&src, input_name)) return kExitFailure;

  // Creating the output would empty the model before it is read.
  if (same_file(input_name, output_name)) {
    report(diag, output_name, "is the model file itself; refusing to overwrite it");
    return kExitFailure;
  }

  std::string err;
  ObjSink sink;
  if (!open_obj_sink(&sink, output_name, &err)) {
    report(diag, output_name, err);
    return kExitFailure;
  }

  WalkResult result = convert_geosets(src, sink, console, &err);
  std::string close_err;
  bool closed = close_obj_sink(sink, &close_err);
  close_model_source(src);

  if (result == WalkResult::kInputFailed) {
    report(diag, input_name, err);
    return kExitFailure;
  }
  if (result == WalkResult::kOutputFailed || !closed) {
    report(diag, output_name, result == WalkResult::kOutputFailed ? err : close_err);
    return kExitFailure;
  }
  return kExitSuccess;
}
