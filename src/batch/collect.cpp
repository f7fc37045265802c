#include <algorithm>
#include <system_error>

#include "batch/jobs.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/letter_case.h"
#include "common/utf8.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

// ".mdx" in any letter case.
bool has_model_extension(const fs::path& name) {
  return same_ignoring_case(name.extension().u8string(), ".mdx");
}

// Adds a job to the run, its name to the run's one buffer of names.
Job& add_job(JobList* list, const std::string& name, std::size_t tail_len,
             const std::string& failure, bool model) {
  Job job;
  job.name = static_cast<std::uint32_t>(list->names.size());
  job.name_len = static_cast<std::uint32_t>(name.size());
  job.tail_len = static_cast<std::uint32_t>(tail_len);
  // A model named itself: its run folder is its own folder (found ones say).
  const std::size_t slash = name.find_last_of("/\\");
  job.root_len = static_cast<std::uint32_t>(slash == std::string::npos ? 0 : slash + 1);
  job.model = model;
  list->names += name;
  if (!failure.empty()) {
    list->failures.push_back(failure);
    job.failure = static_cast<std::uint32_t>(list->failures.size());
  }
  list->jobs.push_back(job);
  return list->jobs.back();
}

void identify(Job* job, const FileLook& look, int look_error) {
  job->kind = look.kind;
  job->look_error = static_cast<std::uint16_t>(look_error);
  if (look.kind != FileLook::kRegular) return;
  job->bytes = look.size;
  job->device = look.device;
  job->inode = look.inode;
  job->modified = look.modified;
}

// A path of a list keeps its whole path under -d where it stays inside it:
// relative, without "..".
bool keeps_its_path(const fs::path& path) {
  if (path.is_absolute() || path.has_root_name() || path.has_root_directory()) return false;
  for (const fs::path& part : path) {
    if (part == "..") return false;
  }
  return true;
}

constexpr char kDangling[] = "cannot open: it is a link to a file that does not exist";

// A name that leads nowhere because it is a link to a file that is gone.
bool dangling(const fs::path& name, const FileLook& look) {
  FileLook link;
  int code = 0;
  return look.kind == FileLook::kMissing && !name.empty() && !holds_nul(name) &&
         g_file_calls.look(name, false, &link, &code) && link.kind == FileLook::kLink;
}

// One PATH's walk: the folder as named, where its entries go, and the
// progress told now and then (not for every name: the walk of a large tree
// must not wait for a terminal).
struct Walk {
  const std::string& path;
  const fs::path& root;
  JobList* list;
  const FindProgress& progress;
  std::size_t kept = 0;  // the bytes of the folder's name that a model's tail keeps
  std::size_t looked = 0;
};

Job& add_found(Walk* walk, const fs::path& relative, const std::string& failure, bool model) {
  const std::string name = joined_name(walk->path, relative);
  const std::size_t tail = relative.u8string().size();
  Job& job = add_job(walk->list, name, tail == 0 ? 0 : tail + walk->kept, failure, model);
  job.found = true;
  job.root_len = static_cast<std::uint32_t>(name.size() >= tail ? name.size() - tail : 0);
  return job;
}

// What a listed folder's models keep of its name under -d, as a listed file
// keeps its own: the whole path where it stays inside the -d folder, its last
// part where it does not. A folder named on the command line keeps none.
std::size_t kept_of_folder(const std::string& path, const fs::path& native, bool on_list) {
  if (!on_list) return 0;
  if (keeps_its_path(native)) return joined_name(path, "x").size() - 1;
  const fs::path folder = native.has_filename() ? native : native.parent_path();
  const std::size_t last = folder.filename().u8string().size();
  return last == 0 ? 0 : last + 1;
}

// Every model under root/relative. Links to folders are not followed, so that
// no link makes a loop; links to files are. A name that cannot be used is
// told: a link that leads nowhere, an entry gone before it was looked at.
void find_models(Walk* walk, const fs::path& relative) {
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(walk->root / relative, &names, &code)) {
    // Told, but no model.
    add_found(walk, relative, "cannot read folder: " + reason(code), false);
    return;
  }
  for (const std::string& file : names) {
    if (interrupted()) return;
    if (walk->progress && ++walk->looked % 64 == 1) walk->progress(walk->list->jobs.size());
    const fs::path name = relative / fs::u8path(file);
    FileLook entry, target;
    if (!g_file_calls.look(walk->root / name, false, &entry, &code)) {
      if (has_model_extension(name)) add_found(walk, name, "cannot open: " + reason(code), true);
      continue;
    }
    if (entry.kind == FileLook::kFolder) {
      find_models(walk, name);
      continue;
    }
    if (!has_model_extension(name)) continue;
    std::string failure;
    if (entry.kind == FileLook::kMissing) {
      failure = "vanished while its folder was read";
    } else if (!g_file_calls.look(walk->root / name, true, &target, &code)) {
      failure = "cannot open: " + reason(code);
    } else if (target.kind == FileLook::kMissing) {
      failure = kDangling;
    } else if (target.kind == FileLook::kFolder) {
      continue;  // a link to a folder, which is not followed
    } else if (target.kind != FileLook::kRegular) {
      failure = "cannot open: not a regular file";
    }
    Job& job = add_found(walk, name, failure, true);
    if (failure.empty()) identify(&job, target, 0);
  }
}

// The run's order under a folder: the paths under it byte for byte, with "/"
// between folders on every system.
bool found_before(const JobList& list, const Job& a, const Job& b) {
  const char* x = list.names.data() + a.name + (a.name_len - a.tail_len);
  const char* y = list.names.data() + b.name + (b.name_len - b.tail_len);
  for (std::size_t i = 0; i < a.tail_len && i < b.tail_len; ++i) {
    unsigned char cx = static_cast<unsigned char>(x[i] == '\\' ? '/' : x[i]);
    unsigned char cy = static_cast<unsigned char>(y[i] == '\\' ? '/' : y[i]);
    if (cx != cy) return cx < cy;
  }
  return a.tail_len < b.tail_len;
}

}  // namespace

std::string joined_name(const std::string& folder, const fs::path& relative) {
  if (relative.empty()) return folder;
  return shown_name((fs::u8path(folder) / relative).u8string());
}

std::string_view model_name(const JobList& list, const Job& job) {
  return std::string_view(list.names).substr(job.name, job.name_len);
}

std::string_view obj_name(const JobList& list, const Job& job) {
  return std::string_view(list.names).substr(job.obj, job.obj_len);
}

const std::string& failure_of(const JobList& list, const Job& job) {
  static const std::string none;
  return job.failure == 0 ? none : list.failures[job.failure - 1];
}

ModelLook model_look(const Job& job) {
  ModelLook look;
  look.file.kind = job.kind;
  look.file.size = job.bytes;
  look.file.device = job.device;
  look.file.inode = job.inode;
  look.file.modified = job.modified;
  look.error = job.look_error;
  return look;
}

JobList collect_models(const std::vector<std::string>& paths, const Settings& options,
                       const FindProgress& progress, const std::vector<std::string>& listed) {
  JobList list;
  for (std::size_t k = 0; k < paths.size() + listed.size(); ++k) {
    const bool on_list = k >= paths.size();
    const std::string& path = on_list ? listed[k - paths.size()] : paths[k];
#ifdef _WIN32
    // A Windows name is UTF-16 underneath: bytes that are no UTF-8 (a list
    // may hold them) name no file, and no path can be made of them.
    if (!valid_utf8(path)) {
      add_job(&list, path, path.size(), "cannot open: the name is not UTF-8", true);
      continue;
    }
#endif
    const fs::path native = native_name(path, NameBytes::kUtf8);
    FileLook look;
    int code = 0;
    const bool folder = !path.empty() && !holds_nul(native) &&
                        g_file_calls.look(native, true, &look, &code) &&
                        look.kind == FileLook::kFolder;
    if (!folder) {
      // A model named itself: its path as named is its tail on a list, its
      // file name elsewhere. A name whose look failed (a link that loops)
      // keeps that reason.
      const std::string shown = shown_name(path);
      const bool whole = on_list && keeps_its_path(native);
      identify(&add_job(&list, shown, whole ? shown.size() : native.filename().u8string().size(),
                        code == 0 && dangling(native, look) ? kDangling : "", true),
               look, code);
    } else if (!options.recursive) {
      add_job(&list, shown_name(path), 0, "is a folder (-r converts the models in it)", false);
    } else {
      const std::size_t first = list.jobs.size();
      Walk walk{path, native, &list, progress, kept_of_folder(path, native, on_list)};
      list.folders.push_back({path, walk.kept});
      find_models(&walk, fs::path());
      std::sort(list.jobs.begin() + static_cast<std::ptrdiff_t>(first), list.jobs.end(),
                [&](const Job& a, const Job& b) { return found_before(list, a, b); });
      if (list.jobs.size() == first) add_job(&list, shown_name(path), 0, "no models found", false);
    }
  }
  return list;
}
