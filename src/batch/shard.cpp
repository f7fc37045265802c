#include "batch/jobs.h"
#include "common/file_calls.h"
#include "convert/convert.h"

std::string shard_path(const JobList& list, const Job& job) {
  std::string_view path = model_name(list, job);
  if (job.found) path = path.substr(path.size() - job.tail_len);
  return slashed_name(std::string(path));
}

bool in_shard(const std::string& shard_path, const Settings& options) {
  return options.shards == 0 || fnv1a(shard_path) % options.shards == options.shard - 1;
}

void keep_shard(JobList* list, const Settings& options) {
  if (options.shards == 0) return;
  std::size_t kept = 0;
  for (const Job& job : list->jobs) {
    const bool mine = job.model ? in_shard(shard_path(*list, job), options) : options.shard == 1;
    if (mine) list->jobs[kept++] = job;
  }
  list->jobs.resize(kept);
}
