#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "batch/file_list.h"
#include "common/cpus.h"
#include "common/file_identity.h"
#include "front/front.h"

namespace {

constexpr char kUsage[] = "usage: mdx2obj [-r] [-d DIR | -o FILE] [-j N] [--objects] [-q] PATH...";

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
    "                     it to standard output\n"
    "  -j, --jobs N       convert N models at once (default: the CPUs it may use)\n"
    "  --objects          begin each geoset with a line \"o geoset_N\", so that OBJ\n"
    "                     readers import each geoset as an object of its own\n"
    "  --up y|z           y: write each position and normal (x, y, z) as\n"
    "                     (x, z, -y), so that the model stands in a Y-up reader;\n"
    "                     z (the default): as the model has them\n"
    "  --scale F          multiply every position by F (a decimal number above 0)\n"
    "                     in double precision, rounded to the nearest float\n"
    "  -q, --quiet        failures, the status line and the tally: no summaries;\n"
    "                     twice (-qq) failures only\n"
    "  -u, --update       convert only the models whose OBJ is not up to date: it is\n"
    "                     missing, the model or the OBJ changed since the run that\n"
    "                     wrote it, it failed then, or other options or another\n"
    "                     version of mdx2obj made it\n"
    "  -n, --dry-run      with -u: list the models that would be converted, and why,\n"
    "                     on standard output; write nothing\n"
    "  --json             results as JSON lines on standard output, a line a model\n"
    "                     and the totals last\n"
    "  --files-from FILE  convert the models listed in FILE too, one a line (- for\n"
    "                     standard input); under -d a relative path keeps its path\n"
    "  -0, --null         the list's paths end with NUL bytes (find -print0)\n"
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

int usage_error(std::ostream& diag, const std::string& what) {
  diag << "mdx2obj: " << what << "\n" << kUsage << " (mdx2obj --help tells more)" << std::endl;
  return kExitUsage;
}

}  // namespace

int parse_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                       BatchOptions* options_out, std::vector<std::string>* paths_out) {
  BatchOptions& options = *options_out;
  std::vector<std::string>& paths = *paths_out;
  options.jobs = usable_cpus();
  options.format_threads = format_threads();
  bool options_over = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
#ifdef _WIN32
    // The help, as Windows programs answer it.
    if (arg == "/?" && !options_over) {
      out << kHelp << std::flush;
      return kExitSuccess;
    }
#endif
    if (options_over || arg.size() < 2 || arg[0] != '-') {
      paths.push_back(arg);
      continue;
    }
    // --name, --name=VALUE, or a group of short options (-rq, -j4, -d out).
    std::string name = arg, value;
    bool has_value = false;
    std::size_t eq = arg.find('=');
    if (arg[1] == '-' && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    std::vector<std::string> shorts;
    if (arg[1] != '-') {
      for (std::size_t k = 1; k < arg.size(); ++k) {
        std::string flag = std::string("-") + arg[k];
        if (flag == "-o" || flag == "-d" || flag == "-j") {
          if (k + 1 < arg.size()) {
            value = arg.substr(k + 1);
            has_value = true;
          }
          shorts.push_back(flag);
          break;
        }
        shorts.push_back(flag);
      }
    } else {
      shorts.push_back(name);
    }
    for (const std::string& flag : shorts) {
      auto take_value = [&](std::string* into) {
        if (!has_value) {
          if (i + 1 == args.size()) return false;
          value = args[++i];
        }
        *into = value;
        return true;
      };
      if (flag == "--") {
        if (has_value) return usage_error(diag, "unknown option " + arg);
        options_over = true;
      } else if (flag == "-h" || flag == "--help") {
        out << kHelp << std::flush;
        return kExitSuccess;
      } else if (flag == "--version") {
        out << "mdx2obj " MDX2OBJ_VERSION << std::endl;
        return kExitSuccess;
      } else if (flag == "-q" || flag == "--quiet") {
        ++options.quiet;
      } else if (flag == "-r" || flag == "--recursive") {
        options.recursive = true;
      } else if (flag == "-u" || flag == "--update") {
        options.update = true;
      } else if (flag == "-n" || flag == "--dry-run") {
        options.dry_run = true;
      } else if (flag == "--up") {
        std::string axis;
        if (!take_value(&axis) || (axis != "y" && axis != "z")) {
          return usage_error(
              diag, flag + " takes y or z" + (has_value || !axis.empty() ? ", not " + axis : ""));
        }
        options.y_up = axis == "y";
      } else if (flag == "--scale") {
        std::string factor;
        if (!take_value(&factor)) return usage_error(diag, flag + " needs a number");
        if (!read_scale(factor, &options.scale)) {
          return usage_error(diag, flag + " takes a decimal number greater than 0, not " + factor);
        }
      } else if (flag == "--json") {
        options.json = true;
      } else if (flag == "-0" || flag == "--null") {
        options.null_separated = true;
      } else if (flag == "--files-from") {
        if (options.files_from) return usage_error(diag, flag + " is given twice");
        std::string list;
        if (!take_value(&list) || list.empty()) return usage_error(diag, flag + " needs a file");
        options.files_from = list;
      } else if (flag == "--shard") {
        std::string part;
        if (!take_value(&part)) return usage_error(diag, flag + " needs a part, as K/N");
        unsigned long k = 0, n = 0;
        char slash = 0, extra = 0;
        if (std::sscanf(part.c_str(), "%lu%c%lu%c", &k, &slash, &n, &extra) != 3 || slash != '/' ||
            part[0] == '-' || part.find("/-") != std::string::npos || k < 1 || n < k ||
            n > 1000000) {
          return usage_error(diag, flag + " takes K/N with 1 <= K <= N, not " + part);
        }
        options.shard = static_cast<unsigned>(k);
        options.shards = static_cast<unsigned>(n);
      } else if (flag == "--objects") {
        options.objects = true;
      } else if (flag == "-o" || flag == "--output") {
        if (options.output) return usage_error(diag, flag + " is given twice");
        std::string output;
        if (!take_value(&output)) return usage_error(diag, flag + " needs a file name");
        options.output = output;
      } else if (flag == "-d" || flag == "--output-dir") {
        if (options.output_dir) return usage_error(diag, flag + " is given twice");
        std::string output_dir;
        if (!take_value(&output_dir) || output_dir.empty()) {
          return usage_error(diag, flag + " needs a folder name");
        }
        options.output_dir = output_dir;
      } else if (flag == "-j" || flag == "--jobs") {
        std::string jobs;
        if (!take_value(&jobs)) return usage_error(diag, flag + " needs a number of jobs");
        char* end = nullptr;
        unsigned long n = std::strtoul(jobs.c_str(), &end, 10);
        if (jobs.empty() || *end != '\0' || jobs[0] == '-' || n < 1 || n > 1024) {
          return usage_error(diag, flag + " takes a number of jobs from 1 to 1024, not " + jobs);
        }
        options.jobs = static_cast<unsigned>(n);
      } else {
        return usage_error(diag, "unknown option " + (arg[1] == '-' ? name : flag));
      }
    }
  }
  if (paths.empty() && !options.files_from) return usage_error(diag, "no model given");
  if (options.output && options.output_dir) {
    return usage_error(diag, "-o and -d do not go together");
  }
  if (options.json && options.output && *options.output == "-") {
    return usage_error(diag, "--json and -o - do not go together: both take standard output");
  }
  if (options.dry_run && !options.update) return usage_error(diag, "-n goes with -u");
  return kGoOn;
}

int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& diag,
                     Columns columns, bool dropped) {
  std::vector<std::string> paths;
  BatchOptions options;
  options.recursive = dropped;  // a dropped folder can only mean its models
  int status = parse_command_line(args, out, diag, &options, &paths);
  if (status != kGoOn) return status;
  // The OBJ text of -o - may reach the same terminal, through a pager or
  // head: a status line would land in the middle of it.
  if (options.quiet >= 2 || (options.output && *options.output == "-")) columns = nullptr;
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
  if (options.files_from) {
    std::ifstream file;
    if (*options.files_from != "-") {
      file.open(native_name(*options.files_from, NameBytes::kUtf8), std::ios::binary);
      if (!file) {
        return usage_error(
            diag, "cannot read the list " + *options.files_from + ": " + std::strerror(errno));
      }
    }
    read_file_list(*options.files_from == "-" ? std::cin : file, options.null_separated, &listed);
  }
  BatchList list = collect_models(paths, options, columns ? progress : nullptr, listed);
  show_status(&finding, "", "");
  if (options.output && (list.items.size() != 1 || list.items[0].found)) {
    return usage_error(diag, "-o takes exactly one model");
  }
  name_obj_files(&list, options);
  keep_shard(&list, options);
  return run_batch(list, options, out, diag, columns);
}