#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "batch/file_list.h"
#include "batch/jobs.h"
#include "batch/run.h"
#include "common/cpus.h"
#include "common/file_identity.h"
#include "common/letter_case.h"
#include "front/front.h"

namespace {

constexpr char kUsage[] = "usage: mdx2obj [OPTIONS] PATH...";

constexpr char kHelp[] =
    "usage: mdx2obj [OPTIONS] PATH...\n"
    "Converts the meshes (geosets) of MDX models into Wavefront OBJ files.\n"
    "\n"
    "Each model is written beside itself with its extension replaced by .obj\n"
    "(art/unit.mdx gives art/unit.obj). An existing OBJ file is replaced only\n"
    "by a whole one: each OBJ is written under a temporary name beside it and\n"
    "renamed once complete. No model of the run is ever written to, nor another\n"
    "model's OBJ: a model whose OBJ name leads to either is not converted.\n"
    "\n"
    "  -r, --recursive    convert every .mdx file (any letter case) in the folders\n"
    "                     named, to every depth; links to folders are not followed\n"
    "  -d, --output-dir DIR\n"
    "                     write the OBJ files under DIR: a model found in a folder\n"
    "                     keeps its path under that folder, a model named keeps its\n"
    "                     file name; folders are created as needed\n"
    "  -o, --output FILE  write the OBJ to FILE (with one model only); -o - writes\n"
    "                     it to standard output; a FILE ending .glb writes a GLB\n"
    "  --format obj|glb   glb: write each model as one glTF 2.0 binary file, .glb in\n"
    "                     place of .obj, Y up, with its materials and textures\n"
    "                     inside it (no --up, --objects or -m)\n"
    "  -j, --jobs N       convert N models at once (default: the CPUs it may use)\n"
    "  --objects          begin each geoset with a line \"o geoset_N\", so that OBJ\n"
    "                     readers import each geoset as an object of its own\n"
    "  --up y|z           y: write each position and normal (x, y, z) as\n"
    "                     (x, z, -y), so that the model stands in a Y-up reader;\n"
    "                     z (the default): as the model has them\n"
    "  --scale F          multiply every position by F (a decimal number from\n"
    "                     1.2e-38 to 3.4e+38) in double precision, rounded to the\n"
    "                     nearest float\n"
    "  -m, --materials    write an MTL file beside each OBJ (unit.obj: unit.mtl),\n"
    "                     and the model's textures as PNG images where the OBJ\n"
    "                     files go, at the paths the model names them by\n"
    "  --bake HZ          with glb: sample each animation's curves HZ times a second\n"
    "                     (1 to 1000) and at its keys, as straight lines, for\n"
    "                     readers that drop cubic tangents\n"
    "  --textures DIR     with -m or glb: look for textures under DIR too, after the\n"
    "                     model's folder and each folder above it (repeatable)\n"
    "  -q, --quiet        failures, warnings, the status line and the tally: no\n"
    "                     summaries; twice (-qq) failures only\n"
    "  -u, --update       convert only the models whose OBJ is not up to date: it is\n"
    "                     missing, the model or the OBJ changed since the run that\n"
    "                     wrote it, it failed then, or other options or another\n"
    "                     version of mdx2obj made it\n"
    "  -n, --dry-run      with -u: list the models that would be converted, and why,\n"
    "                     on standard output; write nothing\n"
    "  --delete           with -u: remove the OBJ files whose models are gone, within\n"
    "                     the folders named and the shard, where nobody changed them\n"
    "  --json             results as JSON lines on standard output, a line a model\n"
    "                     and the totals last\n"
    "  --files-from FILE  convert the models listed in FILE too, one a line (- for\n"
    "                     standard input); under -d a relative path keeps its path\n"
    "  -0, --null         with --files-from: the list's paths end with NUL bytes\n"
    "                     (find -print0)\n"
    "  --shard K/N        convert part K of N of the run, split by a hash of each\n"
    "                     model's path: N processes or machines convert it all\n"
    "  -h, --help         this text (on Windows also /?)\n"
    "  --version          the program's version\n"
    "  --                 the arguments after it are paths, even those that begin\n"
    "                     with -\n"
    "\n"
    "After each model one line goes to standard error, its summary or why it\n"
    "failed, in the order of the paths (a folder's models sorted by path); a run\n"
    "of several models ends with a tally. On a terminal a status line shows the\n"
    "progress.\n"
    "\n"
    "Example: mdx2obj -r -d out art    writes art/units/a.mdx to out/units/a.obj\n"
    "\n"
    "Exit status: 0 when every model converted, 1 when any failed or was not\n"
    "started, 2 when the command line was wrong. A failure does not stop the\n"
    "models after it; a full or read-only output file system is told once.\n"
    "Ctrl-C stops the run, removes the OBJ files under way and ends by its signal.\n"
    "\n"
    "Started without arguments, mdx2obj asks for a model and an OBJ file name.\n"
    "On Windows, files and folders dropped onto mdx2obj.exe are converted beside\n"
    "themselves.\n";

bool usage_error(std::ostream& diag, const std::string& what, ExitStatus* status) {
  diag << "mdx2obj: " << what << "\n" << kUsage << " (mdx2obj --help tells more)" << std::endl;
  *status = kExitUsage;
  return false;
}

// Reading the arguments: where it stands, the value of the option at hand
// (attached, as in --jobs=4 and -j4, or the next argument), and a usage
// error once one is found.
struct Reader {
  const std::vector<std::string>& args;
  std::size_t at = 0;
  bool has_value = false;
  std::string value;
  bool options_over = false;
  std::string error;
};

bool take_value(Reader* r, std::string* into) {
  if (!r->has_value) {
    if (r->at + 1 == r->args.size()) return false;
    r->value = r->args[++r->at];
  }
  *into = r->value;
  return true;
}

// What an option did.
enum class Took { kOption, kUnknown, kWrong, kHelp, kVersion };

Took wrong(Reader* r, const std::string& error) {
  r->error = error;
  return Took::kWrong;
}

// The options without a value.
bool take_switch(const std::string& flag, Settings* o) {
  if (flag == "-q" || flag == "--quiet") {
    ++o->quiet;
  } else if (flag == "-r" || flag == "--recursive") {
    o->recursive = true;
  } else if (flag == "-u" || flag == "--update") {
    o->update = true;
  } else if (flag == "-n" || flag == "--dry-run") {
    o->dry_run = true;
  } else if (flag == "--json") {
    o->json = true;
  } else if (flag == "--delete") {
    o->delete_gone = true;
  } else if (flag == "-0" || flag == "--null") {
    o->null_separated = true;
  } else if (flag == "--objects") {
    o->objects = true;
  } else if (flag == "-m" || flag == "--materials") {
    o->materials = true;
  } else {
    return false;
  }
  return true;
}

Took take_shard(Reader* r, const std::string& flag, Settings* o) {
  std::string part;
  if (!take_value(r, &part)) return wrong(r, flag + " needs a part, as K/N");
  unsigned long k = 0, n = 0;
  char slash = 0, extra = 0;
  if (std::sscanf(part.c_str(), "%lu%c%lu%c", &k, &slash, &n, &extra) != 3 || slash != '/' ||
      part[0] == '-' || part.find("/-") != std::string::npos || k < 1 || n < k || n > 1000000) {
    return wrong(r, flag + " takes K/N with 1 <= K <= N, not " + part);
  }
  o->shard = static_cast<unsigned>(k);
  o->shards = static_cast<unsigned>(n);
  return Took::kOption;
}

// A whole number from 1 to `most`, of `what` ("jobs"): -j, --bake.
Took take_count(Reader* r, const std::string& flag, const std::string& what, unsigned long most,
                unsigned* into) {
  std::string text;
  if (!take_value(r, &text)) return wrong(r, flag + " needs a number of " + what);
  char* end = nullptr;
  unsigned long n = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || text[0] == '-' || n < 1 || n > most) {
    return wrong(r, flag + " takes a number of " + what + " from 1 to " + std::to_string(most) +
                        ", not " + text);
  }
  *into = static_cast<unsigned>(n);
  return Took::kOption;
}

// An option given once at most, whose value is a name: -o, -d, --files-from.
Took take_name(Reader* r, const std::string& flag, const char* needs,
               std::optional<std::string>* into) {
  if (*into) return wrong(r, flag + " is given twice");
  std::string name;
  if (!take_value(r, &name) || name.empty()) return wrong(r, flag + " needs " + needs);
  *into = name;
  return Took::kOption;
}

Took take_style(Reader* r, const std::string& flag, Settings* style) {
  std::string text;
  if (flag == "--up") {
    if (!take_value(r, &text) || (text != "y" && text != "z")) {
      return wrong(r,
                   flag + " takes y or z" + (r->has_value || !text.empty() ? ", not " + text : ""));
    }
    style->y_up = text == "y";
    return Took::kOption;
  }
  if (!take_value(r, &text)) return wrong(r, flag + " needs a number");
  if (!read_scale(text, &style->scale)) {
    return wrong(r, flag + " takes " + kScaleRange + ", not " + text);
  }
  return Took::kOption;
}

Took take_flag(Reader* r, const std::string& flag, Settings* o) {
  if (flag == "--") {
    if (r->has_value) return Took::kUnknown;
    r->options_over = true;
    return Took::kOption;
  }
  const bool ends_here = flag == "-h" || flag == "--help" || flag == "--version";
  if (ends_here || take_switch(flag, o)) {
    // A switch is on by being there: --objects=no or --update=false would
    // mean nothing.
    if (r->has_value && flag[1] == '-') return wrong(r, flag + " takes no value, not " + r->value);
    if (flag == "--version") return Took::kVersion;
    return ends_here ? Took::kHelp : Took::kOption;
  }
  if (flag == "--up" || flag == "--scale") {
    o->up_given = o->up_given || flag == "--up";
    return take_style(r, flag, o);
  }
  if (flag == "--format") {
    std::string format;
    if (!take_value(r, &format) || (format != "obj" && format != "glb")) {
      return wrong(r, flag + " takes obj or glb" +
                          (r->has_value || !format.empty() ? ", not " + format : ""));
    }
    o->format = format == "glb" ? OutputFormat::kGlb : OutputFormat::kObj;
    o->format_given = true;
    return Took::kOption;
  }
  if (flag == "--files-from") return take_name(r, flag, "a file", &o->files_from);
  if (flag == "--shard") return take_shard(r, flag, o);
  if (flag == "-o" || flag == "--output") return take_name(r, flag, "a file name", &o->output);
  if (flag == "-d" || flag == "--output-dir") {
    return take_name(r, flag, "a folder name", &o->output_dir);
  }
  if (flag == "-j" || flag == "--jobs") return take_count(r, flag, "jobs", 1024, &o->jobs);
  if (flag == "--bake") return take_count(r, flag, "samples a second", 1000, &o->bake);
  if (flag == "--textures") {
    std::string folder;
    if (!take_value(r, &folder) || folder.empty()) return wrong(r, flag + " needs a folder name");
    o->textures.push_back(folder);
    return Took::kOption;
  }
  return Took::kUnknown;
}

// The options of one argument: --name, --name=VALUE, or a group of short
// options (-rq, -j4, -d out), the last of which may take the rest as value.
std::vector<std::string> flags_of(Reader* r, const std::string& arg) {
  r->has_value = false;
  r->value.clear();
  if (arg[1] == '-') {
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) return {arg};
    r->has_value = true;
    r->value = arg.substr(eq + 1);
    return {arg.substr(0, eq)};
  }
  std::vector<std::string> flags;
  for (std::size_t k = 1; k < arg.size(); ++k) {
    flags.push_back(std::string("-") + arg[k]);
    if (arg[k] == 'o' || arg[k] == 'd' || arg[k] == 'j') {
      r->has_value = k + 1 < arg.size();
      if (r->has_value) r->value = arg.substr(k + 1);
      break;
    }
  }
  return flags;
}

// An MTL goes beside its OBJ, which its first line names: the OBJ must be a
// file that has a folder.
bool materials_have_a_place(const Settings& o, std::ostream& diag, ExitStatus* status) {
  if (o.to_stdout) {
    return usage_error(diag, "-m and -o - do not go together: the MTL goes beside the OBJ file",
                       status);
  }
  FileLook look;
  int code = 0;
  if (o.output && g_file_calls.look(native_name(*o.output, NameBytes::kUtf8), true, &look, &code) &&
      look.kind != FileLook::kMissing && look.kind != FileLook::kRegular) {
    return usage_error(diag, "-m needs -o to name a regular file, not " + *o.output, status);
  }
  return true;
}

// A GLB is always Y up, its geosets nodes of their own, its materials and
// textures inside it; its bytes are no text for a terminal.
bool glb_options_fit(const Settings& o, std::ostream& diag, ExitStatus* status) {
  if (o.up_given)
    return usage_error(diag, "--up does not go with glb: a GLB is always Y up", status);
  if (o.objects) {
    return usage_error(diag, "--objects does not go with glb: each geoset is a node of a GLB",
                       status);
  }
  if (o.materials) {
    return usage_error(diag, "-m does not go with glb: a GLB always carries its materials", status);
  }
  if (o.to_stdout && output_is_terminal()) {
    return usage_error(diag, "-o - does not write a GLB to a terminal", status);
  }
  return true;
}

// The options that do not go together, and a run without a model.
bool check_together(const Settings& o, bool any_path, std::ostream& diag, ExitStatus* status) {
  if (!any_path && !o.files_from) return usage_error(diag, "no model given", status);
  if (o.output && o.output_dir) return usage_error(diag, "-o and -d do not go together", status);
  if (o.json && o.to_stdout) {
    return usage_error(diag, "--json and -o - do not go together: both take standard output",
                       status);
  }
  if (o.dry_run && !o.update) return usage_error(diag, "-n goes with -u", status);
  // Standard output keeps no ledger: a dry run could only convert.
  if (o.dry_run && o.to_stdout) {
    return usage_error(diag, "-n and -o - do not go together: standard output keeps no ledger",
                       status);
  }
  if (o.delete_gone && !o.update) return usage_error(diag, "--delete goes with -u", status);
  if (o.null_separated && !o.files_from) {
    return usage_error(diag, "-0 goes with --files-from", status);
  }
  if (o.format == OutputFormat::kGlb && !glb_options_fit(o, diag, status)) return false;
  if (o.bake && o.format != OutputFormat::kGlb) {
    return usage_error(diag, "--bake goes with --format glb: an OBJ does not move", status);
  }
  if (!o.textures.empty() && !o.materials && o.format != OutputFormat::kGlb) {
    return usage_error(diag, "--textures goes with -m or --format glb", status);
  }
  // A mistyped folder would only make every texture under it missing.
  for (const std::string& folder : o.textures) {
    FileLook look;
    int code = 0;
    if (!g_file_calls.look(native_name(folder, NameBytes::kUtf8), true, &look, &code) ||
        look.kind != FileLook::kFolder) {
      return usage_error(diag, "--textures names no folder: " + folder, status);
    }
  }
  return !o.materials || materials_have_a_place(o, diag, status);
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                        Settings* options, std::vector<std::string>* paths, ExitStatus* status) {
  options->jobs = usable_cpus();
  options->format_threads = format_threads();
  *status = kExitSuccess;
  Reader r{args, 0, false, "", false, ""};
  for (; r.at < args.size(); ++r.at) {
    const std::string& arg = args[r.at];
#ifdef _WIN32
    // The help, as Windows programs answer it.
    if (arg == "/?" && !r.options_over) return out << kHelp << std::flush, false;
#endif
    if (r.options_over || arg.size() < 2 || arg[0] != '-') {
      paths->push_back(arg);
      continue;
    }
    for (const std::string& flag : flags_of(&r, arg)) {
      const Took took = take_flag(&r, flag, options);
      if (took == Took::kHelp) return out << kHelp << std::flush, false;
      if (took == Took::kVersion) return out << "mdx2obj " MDX2OBJ_VERSION << std::endl, false;
      if (took == Took::kWrong) return usage_error(diag, r.error, status);
      if (took == Took::kUnknown) {
        // "--=x" is no option at all: told as typed.
        return usage_error(diag, "unknown option " + (flag == "--" ? arg : flag), status);
      }
    }
  }
  options->to_stdout = options->output && *options->output == "-";
  if (!options->format_given && options->output && ends_ignoring_case(*options->output, ".glb")) {
    options->format = OutputFormat::kGlb;
  }
  return check_together(*options, !paths->empty(), diag, status);
}

namespace {

// The list of --files-from; false where it cannot be read.
bool read_listed(const Settings& options, std::vector<std::string>* listed, std::string* why) {
  if (!options.files_from) return true;
  std::ifstream file;
  if (*options.files_from != "-") {
    file.open(native_name(*options.files_from, NameBytes::kUtf8), std::ios::binary);
    if (!file) {
      *why = "cannot read the list " + *options.files_from + ": " + std::strerror(errno);
      return false;
    }
  }
  read_file_list(*options.files_from == "-" ? std::cin : file, options.null_separated, listed);
  return true;
}

}  // namespace

int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                     Columns columns, bool dropped) {
  std::vector<std::string> paths;
  Settings options;
  options.recursive = dropped;  // a dropped folder can only mean its models
  ExitStatus status = kExitSuccess;
  if (!parse_command_line(args, out, diag, &options, &paths, &status)) return status;
  // The OBJ text of -o - may reach the same terminal, through a pager or
  // head: a status line would land in the middle of it.
  if (options.quiet >= 2 || options.to_stdout) columns = nullptr;
  // While a large tree is walked, the count of models found so far.
  StatusLine finding{diag};
  auto next = std::chrono::steady_clock::now();
  FindProgress progress = [&](std::size_t found) {
    const auto now = std::chrono::steady_clock::now();
    if (now < next) return;
    next = now + options.status_every;
    show_status(&finding, "", finding_text(found, columns()));
  };
  std::vector<std::string> listed;
  std::string why;
  if (!read_listed(options, &listed, &why)) return usage_error(diag, why, &status), status;
  JobList list = collect_models(paths, options, columns ? progress : nullptr, listed);
  show_status(&finding, "", "");
  if (options.output && (list.jobs.size() != 1 || list.jobs[0].found)) {
    return usage_error(diag, "-o takes exactly one model", &status), status;
  }
  if (options.format == OutputFormat::kGlb && options.to_stdout) output_as_bytes();
  name_obj_files(&list, options);
  keep_shard(&list, options);
  return run_batch(list, options, out, diag, columns);
}
