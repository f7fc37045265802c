#include <filesystem>

#include "front/front.h"

namespace {

constexpr char kUsage[] = "usage: mdx2obj [-o FILE] [--objects] [-q] MODEL...";

constexpr char kHelp[] =
    "usage: mdx2obj [OPTIONS] MODEL...\n"
    "Converts the meshes (geosets) of MDX models into Wavefront OBJ files.\n"
    "\n"
    "Each MODEL is written beside itself with its extension replaced by .obj\n"
    "(art/unit.mdx gives art/unit.obj). An existing OBJ file is replaced; the\n"
    "model itself never is: an OBJ name that leads to it is refused.\n"
    "\n"
    "  -o FILE      write the OBJ to FILE (with one MODEL only); -o - writes it\n"
    "               to standard output\n"
    "  --objects    begin each geoset with a line \"o geoset_N\", so that OBJ\n"
    "               readers import each geoset as an object of its own\n"
    "  -q, --quiet  no summary line per model\n"
    "  -h, --help   this text\n"
    "  --version    the program's version\n"
    "  --           the arguments after it are models, even those that begin with -\n"
    "\n"
    "Exit status: 0 when every model converted, 1 when any failed, 2 when the\n"
    "command line was wrong. A failure does not stop the models after it.\n"
    "\n"
    "Started without arguments, mdx2obj asks for a model and an OBJ file name.\n"
    "On Windows, files dropped onto mdx2obj.exe are converted beside themselves.\n";

int usage_error(std::ostream& diag, const std::string& what) {
  diag << "mdx2obj: " << what << "\n" << kUsage << " (mdx2obj --help tells more)" << std::endl;
  return kExitUsage;
}

std::string counted(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string obj_name_for(const std::string& model) {
  return std::filesystem::u8path(model).replace_extension(".obj").u8string();
}

std::string summary_line(const std::string& model, const std::string& obj,
                         const WalkCounts& counts) {
  return model + " -> " + obj + ": " + counted(counts.geosets, "geoset", "geosets") + ", " +
         counted(counts.vertices, "vertex", "vertices") + ", " +
         counted(counts.triangles, "triangle", "triangles");
}

int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag) {
  std::vector<std::string> models;
  const std::string* output = nullptr;
  bool objects = false, quiet = false, options_over = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_over || arg.size() < 2 || arg[0] != '-') {
      models.push_back(arg);
    } else if (arg == "--") {
      options_over = true;
    } else if (arg == "-h" || arg == "--help") {
      out << kHelp << std::flush;
      return kExitSuccess;
    } else if (arg == "--version") {
      out << "mdx2obj " MDX2OBJ_VERSION << std::endl;
      return kExitSuccess;
    } else if (arg == "-q" || arg == "--quiet") {
      quiet = true;
    } else if (arg == "--objects") {
      objects = true;
    } else if (arg == "-o" || arg == "--output") {
      if (output) return usage_error(diag, arg + " is given twice");
      if (i + 1 == args.size()) return usage_error(diag, arg + " needs a file name");
      output = &args[++i];
    } else {
      return usage_error(diag, "unknown option " + arg);
    }
  }
  if (models.empty()) return usage_error(diag, "no model given");
  if (output && models.size() > 1) return usage_error(diag, "-o takes exactly one model");

  int status = kExitSuccess;
  std::ostream no_progress(nullptr);
  for (const std::string& model : models) {
    Conversion job;
    job.model = {model, native_name(model, NameBytes::kUtf8)};
    std::string obj = output ? *output : obj_name_for(model);
    job.obj = {obj, native_name(obj, NameBytes::kUtf8)};
    job.to_stdout = output && obj == "-";
    job.objects = objects;
    job.geosets_needed = true;
    WalkCounts counts;
    if (convert_model(job, no_progress, out, diag, &counts) != kExitSuccess) {
      status = kExitFailure;
    } else if (!quiet) {
      diag << summary_line(model, job.to_stdout ? "standard output" : obj, counts) << std::endl;
    }
  }
  return status;
}
