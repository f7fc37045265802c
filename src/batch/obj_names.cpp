// Every OBJ name of the run, worked out before anything is converted, so
// that no OBJ replaces another model's OBJ or a model.
#include <algorithm>
#include <map>

#include "batch/jobs.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "convert/convert.h"

namespace fs = std::filesystem;

namespace {

// A hash of the key by which names compare (or of a file's identity), with
// the job it came from: sixteen bytes a model; the names themselves are
// compared only where two hashes meet.
using Keys = std::vector<std::pair<std::uint64_t, std::size_t>>;

struct Naming {
  JobList* list = nullptr;
  fs::path cwd;
  Keys objs, models, identities;
  std::vector<std::uint64_t> obj_hash;  // each job's, while its OBJ is named
  std::vector<char> claims, dropped;    // a job's OBJ is its own; a job leaves the run
  // The OBJ files that exist, by identity: two names of one file.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> existing;
};

fs::path::string_type key_of(const Naming& n, std::string_view name) {
  return name_key(native_name(std::string(name), NameBytes::kUtf8), n.cwd);
}

std::uint64_t identity_hash(std::uint64_t device, std::uint64_t inode) {
  return (device * 1099511628211ull) ^ (inode + 0x9e3779b97f4a7c15ull);
}

std::pair<Keys::const_iterator, Keys::const_iterator> with_hash(const Keys& keys,
                                                                std::uint64_t hash) {
  return std::equal_range(keys.begin(), keys.end(), std::make_pair(hash, std::size_t(0)),
                          [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool same_model(const Job& a, const Job& b) {
  return a.kind == FileLook::kRegular && b.kind == FileLook::kRegular && a.device == b.device &&
         a.inode == b.inode;
}

void index_names(Naming* n) {
  const std::vector<Job>& jobs = n->list->jobs;
  n->obj_hash.assign(jobs.size(), 0);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    if (job.failure != 0) continue;
    n->obj_hash[i] = fnv1a(key_of(*n, obj_name(*n->list, job)));
    n->objs.push_back({n->obj_hash[i], i});
    n->models.push_back({fnv1a(key_of(*n, model_name(*n->list, job))), i});
    if (job.kind == FileLook::kRegular) {
      n->identities.push_back({identity_hash(job.device, job.inode), i});
    }
  }
  for (Keys* keys : {&n->objs, &n->models, &n->identities}) std::sort(keys->begin(), keys->end());
}

void refuse(JobList* list, Job* job, const std::string& why) {
  list->failures.push_back("not converted: its OBJ " + std::string(obj_name(*list, *job)) + why);
  job->failure = static_cast<std::uint32_t>(list->failures.size());
}

// The key of job i's OBJ, made only where another name has its hash.
const fs::path::string_type& obj_key(const Naming& n, std::size_t i, fs::path::string_type* key) {
  if (key->empty()) *key = key_of(n, obj_name(*n.list, n.list->jobs[i]));
  return *key;
}

// The earliest job before `i` that claimed the OBJ of this key; none: n.
std::size_t earlier_claim(const Naming& n, std::size_t i, fs::path::string_type* key) {
  const std::size_t none = n.list->jobs.size();
  std::size_t owner = none;
  for (auto range = with_hash(n.objs, n.obj_hash[i]); range.first != range.second; ++range.first) {
    const std::size_t j = range.first->second;
    if (j < i && j < owner && n.claims[j] &&
        key_of(n, obj_name(*n.list, n.list->jobs[j])) == obj_key(n, i, key)) {
      owner = j;
    }
  }
  return owner;
}

// The OBJ is named as another model of the run. One named as the model
// itself is the identity test's to refuse, when it is opened.
bool named_as_a_model(const Naming& n, std::size_t i, fs::path::string_type* key) {
  bool named = false, own = false;
  for (auto range = with_hash(n.models, n.obj_hash[i]); range.first != range.second;
       ++range.first) {
    const std::size_t j = range.first->second;
    const bool same = key_of(n, model_name(*n.list, n.list->jobs[j])) == obj_key(n, i, key);
    own = own || (same && j == i);
    named = named || (same && j != i);
  }
  return named && !own;
}

// The OBJ exists and is, by its identity, another model of the run.
bool is_a_model(const Naming& n, std::size_t i, const FileLook& obj) {
  const Job& job = n.list->jobs[i];
  if (job.kind == FileLook::kRegular && job.device == obj.device && job.inode == obj.inode) {
    return false;
  }
  const std::uint64_t id = identity_hash(obj.device, obj.inode);
  for (auto range = with_hash(n.identities, id); range.first != range.second; ++range.first) {
    const Job& model = n.list->jobs[range.first->second];
    if (range.first->second != i && model.device == obj.device && model.inode == obj.inode) {
      return true;
    }
  }
  return false;
}

// In the run's order: an OBJ already claimed by an earlier model is that
// model's; an OBJ that is, or leads to, a model is refused.
void claim_obj(Naming* n, std::size_t i) {
  JobList* list = n->list;
  Job& job = list->jobs[i];
  fs::path::string_type key;
  const std::size_t owner = earlier_claim(*n, i, &key);
  if (owner < list->jobs.size()) {
    // The same model named again (a folder and one of its subfolders): it
    // is converted once, under its first name.
    if (same_model(job, list->jobs[owner])) {
      n->dropped[i] = 1;
    } else {
      refuse(list, &job, " is also that of " + std::string(model_name(*list, list->jobs[owner])));
    }
    return;
  }
  if (named_as_a_model(*n, i, &key)) return refuse(list, &job, " is one of the models");
  FileLook obj;
  int code = 0;
  if (!g_file_calls.look(native_name(std::string(obj_name(*list, job)), NameBytes::kUtf8), true,
                         &obj, &code) ||
      obj.kind != FileLook::kRegular) {
    n->claims[i] = 1;
    return;
  }
  if (is_a_model(*n, i, obj)) return refuse(list, &job, " is one of the models");
  // Two names of one existing file (links to it): the later model would
  // write over the earlier one's OBJ.
  auto first = n->existing.emplace(std::make_pair(obj.device, obj.inode), i);
  if (!first.second) {
    const Job& earlier = list->jobs[first.first->second];
    return refuse(list, &job, " is also that of " + std::string(model_name(*list, earlier)));
  }
  job.obj_exists = true;
  job.obj_size = obj.size;
  job.obj_modified = obj.modified;
  n->claims[i] = 1;
}

}  // namespace

std::string obj_name_of(const std::string& model, std::size_t tail, const Settings& options) {
  if (options.output) return *options.output;
  if (!options.output_dir) return output_name_for(model, options.format);
  fs::path path = fs::u8path(model.substr(model.size() - tail));
  return joined_name(*options.output_dir, path.replace_extension(format_extension(options.format)));
}

void name_obj_files(JobList* list, const Settings& options) {
  std::error_code ec;
  Naming n;
  n.list = list;
  n.cwd = fs::current_path(ec);
  // Every OBJ name first, so that each model can be checked against all.
  for (Job& job : list->jobs) {
    if (job.failure != 0) continue;
    const std::string obj = obj_name_of(std::string(model_name(*list, job)), job.tail_len, options);
    job.obj = static_cast<std::uint32_t>(list->names.size());
    job.obj_len = static_cast<std::uint32_t>(obj.size());
    list->names += obj;
  }
  index_names(&n);
  const std::size_t count = list->jobs.size();
  n.claims.assign(count, 0);
  n.dropped.assign(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    if (list->jobs[i].failure == 0) claim_obj(&n, i);
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!n.dropped[i]) list->jobs[kept++] = list->jobs[i];
  }
  list->jobs.resize(kept);
}
