#include "batch/report.h"

#include <algorithm>

#include "batch/json_text.h"
#include "common/interrupt.h"

namespace {

using Clock = Report::Clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A job's warnings (its textures), one line each.
std::string warning_lines(const Report& r, const Job& job, const JobEnd& end) {
  std::string lines;
  if (r.options.quiet >= 2) return lines;
  for (const std::string& warning : end.done.materials.warnings) {
    lines += failure_line(std::string(model_name(r.list, job)), warning) + "\n";
  }
  return lines;
}

// A job's lines on standard error: its warnings, then its failure or its
// summary.
std::string human_line(const Report& r, const Job& job, Outcome outcome, const JobEnd& end) {
  if (outcome == Outcome::kFailed && end.done.output_closed) return "";
  if (outcome == Outcome::kFailed) {
    return warning_lines(r, job, end) + failure_line(end.done.failure.name, end.done.failure.why) +
           "\n";
  }
  if (outcome != Outcome::kConverted) return "";
  if (r.options.quiet > 0) return warning_lines(r, job, end);
  const std::string obj =
      r.options.to_stdout ? "standard output" : std::string(obj_name(r.list, job));
  return warning_lines(r, job, end) +
         summary_line(std::string(model_name(r.list, job)), obj, end.done.counts) + "\n";
}

// With -m or a GLB: the MTL, the images, the warnings and each material's
// look.
std::string materials_json(const Converted& done) {
  std::string list;
  for (const MaterialFacts& m : done.materials.facts) {
    list += std::string(list.empty() ? "" : ", ") + "{\"texture\": " + json_string(m.texture) +
            json_field("filter_mode", std::uint64_t(m.filter_mode)) +
            ", \"two_sided\": " + (m.two_sided ? "true" : "false") + "}";
  }
  // A GLB has no MTL: its textures are those it embeds.
  return (done.mtl.empty() ? "" : json_field("mtl", done.mtl)) +
         json_field("textures", done.materials.images) +
         json_field("warnings", done.materials.warnings) + ", \"materials\": [" + list + "]";
}

// With -m or a GLB, a model not converted: the MTL and images its record
// lists, or the textures the GLB embeds.
std::string recorded_json(const Report& r, const JobEnd& end) {
  const bool glb = r.options.format == OutputFormat::kGlb;
  if (!(r.options.materials || glb) || end.recorded.empty()) return "";
  return (glb ? "" : json_field("mtl", end.recorded[0])) +
         json_field("textures",
                    std::vector<std::string>(end.recorded.begin() + 1, end.recorded.end()));
}

// The bytes of the file written: "obj_bytes" too where it is an OBJ.
std::string bytes_fields(const Report& r, std::uint64_t bytes) {
  const bool obj_run = r.options.format == OutputFormat::kObj;
  return (obj_run ? json_field("obj_bytes", bytes) : "") + json_field("output_bytes", bytes);
}

std::string json_line(const Report& r, const Job& job, Outcome outcome, const JobEnd* end) {
  const std::string model(model_name(r.list, job)), obj(obj_name(r.list, job));
  const bool obj_run = r.options.format == OutputFormat::kObj;
  const bool materials = r.options.materials || !obj_run;
  switch (outcome) {
    case Outcome::kFailed:
      if (!job.model) return json_failure(model, end->done.failure.why);
      return json_model(model, obj, obj_run, "failed",
                        json_field("error", end->done.failure.why) +
                            (end->done.partial ? ", \"partial\": true" : std::string()));
    case Outcome::kConverted:
      return json_model(
          model, obj, obj_run, "converted",
          json_field("geosets", end->done.counts.geosets) +
              json_field("vertices", end->done.counts.vertices) +
              json_field("faces", end->done.counts.triangles) +
              json_field("model_bytes", job.bytes) + bytes_fields(r, end->done.obj_bytes) +
              json_field("seconds", end->seconds) + (materials ? materials_json(end->done) : ""));
    case Outcome::kUpToDate:
      return json_model(model, obj, obj_run, "up-to-date", recorded_json(r, *end));
    case Outcome::kWouldConvert:
      return json_model(model, obj, obj_run, "would-convert",
                        json_field("reason", end->reason) + recorded_json(r, *end));
    case Outcome::kPending:
    case Outcome::kNotStarted:
      break;
  }
  return json_model(model, obj, obj_run, "not-started", "");
}

// The line on standard output: JSON, or a dry run's.
std::string out_line(const Report& r, const Job& job, Outcome outcome, const JobEnd* end) {
  if (r.options.json) return json_line(r, job, outcome, end);
  if (outcome != Outcome::kWouldConvert) return "";
  return model_line(std::string(model_name(r.list, job)), std::string(obj_name(r.list, job)),
                    end->reason) +
         "\n";
}

// Only models count in the tally; a PATH that failed as a whole is a line of
// its own.
void count(Tally* tally, const Job& job, Outcome outcome) {
  if (!job.model) {
    tally->path_failed = true;
    return;
  }
  tally->converted += outcome == Outcome::kConverted;
  tally->up_to_date += outcome == Outcome::kUpToDate;
  tally->failed += outcome == Outcome::kFailed;
  tally->would_convert += outcome == Outcome::kWouldConvert;
  tally->not_started += outcome == Outcome::kPending || outcome == Outcome::kNotStarted;
}

// One model to standard output whose reader left ends as cat does: without a
// word.
bool silent_end(const Report& r) { return r.options.to_stdout && output_closed(); }

// The lines of the jobs that ended, from the first not told on, as far as
// the first one still under way (or, with `to_end`, all of them). Called
// with the mutex held.
void take_lines(Report* r, bool to_end, std::string* diag, std::string* out) {
  for (; r->told < r->list.jobs.size(); ++r->told) {
    const Outcome outcome = r->outcome[r->told];
    if (outcome == Outcome::kPending && !to_end) break;
    const Job& job = r->list.jobs[r->told];
    count(&r->tally, job, outcome);
    auto end = r->ends.find(r->told);
    const JobEnd* ended = end == r->ends.end() ? nullptr : &end->second;
    if (ended && !silent_end(*r)) *diag += human_line(*r, job, outcome, *ended);
    *out += out_line(*r, job, outcome, ended);
    if (ended) r->ends.erase(end);
  }
}

// The status line: the models done, the share of the run's bytes read, and
// the first model under way. Called with the mutex held.
std::string status_now(const Report& r, const Pool& pool) {
  std::uint64_t bytes_read = r.bytes_done;
  std::size_t current = kIdle;
  for (std::size_t j = 0; j < r.running.size(); ++j) {
    const std::size_t job = r.running[j];
    if (job == kIdle) continue;
    bytes_read +=
        std::min(pool.slots[j].reached.load(std::memory_order_relaxed), r.list.jobs[job].bytes);
    current = std::min(current, job);
  }
  const std::size_t n = r.list.jobs.size();
  if (current == kIdle && pool.next.load() < n) current = pool.next.load();
  const std::string name =
      current == kIdle ? "" : std::string(model_name(r.list, r.list.jobs[current]));
  return status_text(r.finished, n, bytes_read, r.bytes_total, seconds_since(r.start), name,
                     r.columns());
}

}  // namespace

void Report::job_started(std::size_t slot, std::size_t job) {
  std::lock_guard<std::mutex> lock(mutex);
  running[slot] = job;
}

void Report::job_finished(std::size_t slot, std::size_t job, JobEnd&& end) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    running[slot] = kIdle;
    outcome[job] = end.outcome;
    ++finished;
    bytes_done += list.jobs[job].bytes;
    if (end.outcome == Outcome::kConverted) obj_bytes += end.done.obj_bytes;
    const bool lines = end.outcome != Outcome::kNotStarted && end.outcome != Outcome::kPending &&
                       end.outcome != Outcome::kUpToDate;
    if (lines || options.json) ends.emplace(job, std::move(end));
  }
  changed.notify_one();
}

void tell_removal(Report* r, const std::string& model, const std::string& obj) {
  const bool dry = r->options.dry_run;
  if (r->options.json) {
    const bool obj_run = r->options.format == OutputFormat::kObj;
    r->out << "{\"type\": \"removal\", \"model\": " << json_string(model)
           << (obj_run ? json_field("obj", obj) : "") << json_field("output", obj)
           << ", \"status\": \"" << (dry ? "would-remove" : "removed") << "\"}\n"
           << std::flush;
  } else if (dry) {
    r->out << model_line(model, obj, "gone") << "\n" << std::flush;
  }
  if (dry) return;
  ++r->tally.removed;
  if (r->options.quiet == 0) {
    show_status(&r->status, failure_line(obj, "removed, its model is gone") + "\n", "");
  }
}

void tell_other_failure(Report* r, const std::string& name, const std::string& why) {
  r->other_failed = true;
  if (r->options.json) r->out << json_failure(name, why) << std::flush;
  show_status(&r->status, failure_line(name, why) + "\n", "");
}

void begin_report(Report* r, const Pool& pool) {
  r->outcome.assign(r->list.jobs.size(), Outcome::kPending);
  r->running.assign(pool.threads, kIdle);
  for (const Job& job : r->list.jobs) r->bytes_total += job.bytes;
  r->next_draw = r->start + r->options.status_every;
  if (r->columns != nullptr && r->options.quiet < 2 && !r->list.jobs.empty()) {
    std::lock_guard<std::mutex> lock(r->mutex);
    show_status(&r->status, "", status_now(*r, pool));
  }
}

void follow_run(Report* r, const Pool& pool) {
  const std::size_t n = r->list.jobs.size();
  const bool status_line = r->columns != nullptr && r->options.quiet < 2;
  std::unique_lock<std::mutex> lock(r->mutex);
  // A signal wakes nobody: the wait looks at the flag this often.
  const auto poll = std::chrono::milliseconds(50);
  while (r->told < n && !interrupted()) {
    auto ready = [&] { return r->outcome[r->told] != Outcome::kPending || interrupted(); };
    const Clock::time_point wake = Clock::now() + poll;
    r->changed.wait_until(lock, status_line ? std::min(r->next_draw, wake) : wake, ready);
    std::string text, out;
    take_lines(r, false, &text, &out);
    // After lines that scroll above it, the status line comes back at once,
    // so that it stays on the screen even when models take a millisecond.
    const bool redraw = status_line && r->told < n && !interrupted() &&
                        (!text.empty() || Clock::now() >= r->next_draw);
    const std::string line = redraw ? status_now(*r, pool) : "";
    if (redraw) r->next_draw = Clock::now() + r->options.status_every;
    lock.unlock();
    if (!out.empty()) r->out << out << std::flush;
    if (!text.empty() || redraw) show_status(&r->status, text, line);
    lock.lock();
  }
}

void tell_rest(Report* r) {
  // After an interruption every job has stopped: what is left is told in
  // order, and the jobs that never ran are counted as not started.
  std::string text, out;
  {
    std::lock_guard<std::mutex> lock(r->mutex);
    take_lines(r, true, &text, &out);
  }
  if (!out.empty()) r->out << out << std::flush;
  show_status(&r->status, text, "");
}

int end_report(Report* r) {
  Tally& tally = r->tally;
  tally.obj_bytes = r->obj_bytes;
  tally.written = r->options.format == OutputFormat::kGlb ? "GLB" : "OBJ";
  const bool stopped = interrupted();
  std::size_t models = 0;
  for (const Job& job : r->list.jobs) models += job.model;
  const std::size_t counted = models - tally.would_convert;
  // A lone model's line says it all, and a PATH that failed alone needs no
  // "0 models"; an empty list does.
  const bool tally_wanted = (counted != 1 && !(counted == 0 && tally.path_failed)) || stopped ||
                            tally.not_started > 0 || tally.removed > 0;
  std::string text;
  if (r->options.quiet < 2 && !r->options.dry_run && tally_wanted) {
    text += tally_line(tally, seconds_since(r->start)) + "\n";
  }
  if (stopped && !output_closed()) text += "mdx2obj: interrupted\n";
  if (silent_end(*r)) text.clear();
  if (r->options.json) {
    r->out << "{\"type\": \"totals\"" << json_field("models", std::uint64_t(models))
           << json_field("converted", std::uint64_t(tally.converted))
           << json_field("up_to_date", std::uint64_t(tally.up_to_date))
           << json_field("failed", std::uint64_t(tally.failed))
           << json_field("not_started", std::uint64_t(tally.not_started))
           << json_field("would_convert", std::uint64_t(tally.would_convert))
           << json_field("removed", std::uint64_t(tally.removed))
           << json_field("seconds", seconds_since(r->start)) << bytes_fields(*r, tally.obj_bytes)
           << ", \"interrupted\": " << (stopped ? "true" : "false") << "}\n"
           << std::flush;
  }
  show_status(&r->status, text, "");
  const bool failed =
      tally.failed > 0 || tally.not_started > 0 || tally.path_failed || r->other_failed;
  return failed ? kExitFailure : kExitSuccess;
}
