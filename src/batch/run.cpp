#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "batch/batch.h"
#include "batch/json_text.h"
#include "batch/record.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/output_file.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

enum class Outcome : unsigned char {
  kPending,
  kConverted,
  kUpToDate,
  kWouldConvert,  // -n: told, not converted
  kFailed,
  kNotStarted,
};

// What a model's end puts on the screen: its line on standard error, and its
// JSON line or dry run's line on standard output.
struct Lines {
  std::string diag, out;
};

constexpr std::uint32_t kNoRecord = static_cast<std::uint32_t>(-1);

constexpr std::size_t kIdle = static_cast<std::size_t>(-1);

// One job: the model it converts now, how far that model has been read, and
// the buffers it keeps from one model to the next.
struct Slot {
  std::atomic<std::uint64_t> reached{0};
  std::size_t item = kIdle;  // guarded by Run::mutex
  JobBuffers buffers;
};

struct Run {
  Run(BatchList& l, const BatchOptions& o, std::ostream& s) : list(l), options(o), out(s) {}
  BatchList& list;
  const BatchOptions& options;
  std::ostream& out;
  bool one_job = true;
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by the mutex. Lines wait here only until they are printed.
  std::vector<Outcome> outcome;
  std::unordered_map<std::size_t, Lines> lines;
  // The output roots' records, and each model's root (kNoRecord: standard
  // output, or a PATH that failed).
  std::vector<std::unique_ptr<Record>> records;
  std::vector<std::string> root_names;
  std::vector<std::uint32_t> root_of;
  std::string shaping;  // the options that shape the OBJ, as records keep them
  std::size_t finished = 0;
  std::uint64_t bytes_done = 0;
  std::uint64_t obj_bytes = 0;
  // File systems where no OBJ can be written any more (full, read-only);
  // none in almost every run.
  std::vector<std::uint64_t> dead_devices;
  std::atomic<bool> any_dead{false};
  bool no_output = false;  // the -d folder cannot be made: nothing can be written
};

// The file system an OBJ would be written to: that of its nearest folder
// that exists.
std::uint64_t output_device(const fs::path& obj) {
  FileLook look;
  int code = 0;
  for (fs::path folder = obj.parent_path();; folder = folder.parent_path()) {
    if (g_file_calls.look(folder.empty() ? fs::path(".") : folder, true, &look, &code) &&
        look.kind != FileLook::kMissing) {
      return look.device;
    }
    if (folder.empty() || folder == folder.parent_path()) return 0;
  }
}

bool dead(Run* run, std::uint64_t device) {
  return std::find(run->dead_devices.begin(), run->dead_devices.end(), device) !=
         run->dead_devices.end();
}

// The OBJ's path under its root, "/" between folders: the record's key.
std::string record_key(const Run* run, std::size_t i) {
  std::string key =
      obj_name(run->list, run->list.items[i]).substr(run->root_names[run->root_of[i]].size());
  key.erase(0, key.find_first_not_of("/\\"));
  for (char& c : key) c = c == '\\' ? '/' : c;
  return key;
}

Outcome convert_item(Run* run, std::size_t i, Slot* slot, Lines* lines, std::uint64_t* obj_bytes) {
  const BatchOptions& options = run->options;
  const BatchItem& item = run->list.items[i];
  const std::string model = model_name(run->list, item);
  std::ostringstream diag;
  if (item.failure != 0) {
    report(diag, model, failure_of(run->list, item));
    lines->diag = diag.str();
    if (options.json) {
      lines->out = item.model ? json_model(model, obj_name(run->list, item), "failed",
                                           json_field("error", failure_of(run->list, item)))
                              : "{\"type\": \"failure\"" + json_field("path", model) +
                                    json_field("error", failure_of(run->list, item)) + "}\n";
    }
    return Outcome::kFailed;
  }
  Conversion job;
  const std::string obj = obj_name(run->list, item);
  job.model = {model, native_name(model, NameBytes::kUtf8)};
  job.obj = {obj, native_name(obj, NameBytes::kUtf8)};
  job.to_stdout = options.output && *options.output == "-";
  if (run->no_output) return Outcome::kNotStarted;
  if (!job.to_stdout && run->any_dead.load()) {
    std::lock_guard<std::mutex> lock(run->mutex);
    if (dead(run, output_device(job.obj.path))) return Outcome::kNotStarted;
  }
  Record* record = run->root_of[i] == kNoRecord ? nullptr : run->records[run->root_of[i]].get();
  const std::string key = record ? record_key(run, i) : "";
  if (options.update && record) {
    FileLook now;
    int code = 0;
    const bool exists =
        g_file_calls.look(job.obj.path, true, &now, &code) && now.kind == FileLook::kRegular;
    auto entry = record->entries.find(key);
    const std::string why =
        stale_reason(entry == record->entries.end() ? nullptr : &entry->second, item.bytes,
                     item.modified, exists, now.size, now.modified, run->shaping);
    if (why.empty()) {
      // A run killed while it wrote this OBJ again left its temporary file
      // beside it: this run does not write there, so it removes it now.
      if (record->killed_run && !options.dry_run) remove_leftovers_beside(job.obj.path);
      if (options.json) lines->out = json_model(model, obj, "up-to-date", "");
      return Outcome::kUpToDate;
    }
    if (options.dry_run) {
      lines->out = options.json ? json_model(model, obj, "would-convert", json_field("reason", why))
                                : shown_name(model) + " -> " + shown_name(obj) + ": " + why + "\n";
      return Outcome::kWouldConvert;
    }
  }
  job.objects = options.objects;
  job.y_up = options.y_up;
  job.scale = options.scale;
  job.geosets_needed = true;
  job.make_folders = options.output_dir.has_value();
  job.reached = &slot->reached;
  job.buffers = &slot->buffers;
  // About one thread per core in all: several jobs keep the cores busy
  // without a writer thread or formatting threads each.
  job.writer_thread = run->one_job;
  job.format_threads = run->one_job ? run->options.format_threads : 1;
  if (record) open_journal(record);
  std::ostream no_progress(nullptr);
  const auto start = Clock::now();
  Converted done = convert_model(job, no_progress, run->out, diag);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (done.stopped) return Outcome::kNotStarted;
  if (done.output_fault != 0) {
    // Told once, by the first model that meets it; the others on that file
    // system are as if never started.
    const std::uint64_t device = output_device(job.obj.path);
    std::lock_guard<std::mutex> lock(run->mutex);
    if (dead(run, device)) return Outcome::kNotStarted;
    run->dead_devices.push_back(device);
    run->any_dead.store(true);
  }
  if (record) {
    // Remembered whether it converted or failed: a model that failed is
    // tried again by every -u run.
    RecordEntry entry;
    entry.model_size = item.bytes;
    entry.model_modified = item.modified;
    entry.obj_size = done.obj.size;
    entry.obj_modified = done.obj.modified;
    entry.failed = done.status != kExitSuccess;
    entry.options = run->shaping;
    entry.version = MDX2OBJ_VERSION;
    journal_entry(record, key, entry);
  }
  const std::string shown_obj = job.to_stdout ? "standard output" : obj;
  if (done.status != kExitSuccess) {
    lines->diag = diag.str();
    if (options.json) {
      lines->out = json_model(
          model, obj, "failed",
          json_field("error", done.why) + (done.partial ? ", \"partial\": true" : std::string()));
    }
    return Outcome::kFailed;
  }
  *obj_bytes = done.counts.obj_bytes;
  if (options.quiet == 0) lines->diag = summary_line(model, shown_obj, done.counts) + "\n";
  if (options.json) {
    lines->out = json_model(
        model, obj, "converted",
        json_field("geosets", done.counts.geosets) + json_field("vertices", done.counts.vertices) +
            json_field("faces", done.counts.triangles) + json_field("model_bytes", item.bytes) +
            json_field("obj_bytes", done.counts.obj_bytes) + json_field("seconds", seconds));
  }
  return Outcome::kConverted;
}

void work(Run* run, Slot* slot) {
  while (!interrupted()) {
    std::size_t i = run->next.fetch_add(1);
    if (i >= run->list.items.size()) return;
    slot->reached.store(0, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      slot->item = i;
    }
    Lines lines;
    std::uint64_t obj_bytes = 0;
    Outcome outcome = convert_item(run, i, slot, &lines, &obj_bytes);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      run->outcome[i] = outcome;
      if (!lines.diag.empty() || !lines.out.empty()) run->lines[i] = std::move(lines);
      ++run->finished;
      run->bytes_done += run->list.items[i].bytes;
      run->obj_bytes += obj_bytes;
      slot->item = kIdle;
    }
    run->changed.notify_one();
  }
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Adds the lines of the models that ended, from `*printed` on, as far as the
// first one still under way (or, with `to_end`, all of them): standard
// error's to `diag`, standard output's to `out`. Only models count in the
// tally; a PATH that failed as a whole is a line of its own.
std::string take_lines(Run* run, std::size_t* printed, Tally* tally, bool to_end,
                       std::string* out) {
  std::string text;
  for (; *printed < run->list.items.size(); ++*printed) {
    const std::size_t i = *printed;
    const Outcome outcome = run->outcome[i];
    if (outcome == Outcome::kPending && !to_end) break;
    const BatchItem& item = run->list.items[i];
    if (item.model) {
      tally->converted += outcome == Outcome::kConverted;
      tally->up_to_date += outcome == Outcome::kUpToDate;
      tally->failed += outcome == Outcome::kFailed;
      tally->would_convert += outcome == Outcome::kWouldConvert;
      tally->not_started += outcome == Outcome::kPending || outcome == Outcome::kNotStarted;
    } else {
      tally->path_failed = true;
    }
    auto lines = run->lines.find(i);
    if (lines != run->lines.end()) {
      text += lines->second.diag;
      *out += lines->second.out;
      run->lines.erase(lines);
    }
    if (run->options.json && (outcome == Outcome::kPending || outcome == Outcome::kNotStarted)) {
      *out += json_model(model_name(run->list, item), obj_name(run->list, item), "not-started", "");
    }
  }
  return text;
}

// Where each model's OBJ is remembered: the -d folder; for OBJ files beside
// their models, the folder named on the command line; for a model named
// itself, its OBJ's folder.
std::string root_name(const BatchList& list, const BatchItem& item, const BatchOptions& options) {
  if (options.output_dir) return shown_name(*options.output_dir);
  const std::string model = model_name(list, item);
  if (item.found) return model.substr(0, model.size() - item.relative_len);
  return fs::u8path(obj_name(list, item)).parent_path().u8string();
}

void find_records(Run* run) {
  const BatchOptions& options = run->options;
  run->root_of.assign(run->list.items.size(), kNoRecord);
  if (options.output && *options.output == "-") return;
  // Every option that shapes the OBJ bytes: a change of any converts again.
  run->shaping = options.objects ? "objects" : "";
  if (options.y_up) run->shaping += run->shaping.empty() ? "up=y" : " up=y";
  if (options.scale != 1.0) {
    char scale[40];
    std::snprintf(scale, sizeof scale, "%sscale=%.17g", run->shaping.empty() ? "" : " ",
                  options.scale);
    run->shaping += scale;
  }
  std::unordered_map<fs::path::string_type, std::uint32_t> roots;
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  for (std::size_t i = 0; i < run->list.items.size(); ++i) {
    const BatchItem& item = run->list.items[i];
    if (item.failure != 0) continue;
    const std::string root = root_name(run->list, item, options);
    const fs::path path = root.empty() ? fs::path(".") : native_name(root, NameBytes::kUtf8);
    auto found =
        roots.emplace(name_key(path, cwd), static_cast<std::uint32_t>(run->records.size()));
    if (found.second) {
      run->records.emplace_back(new Record);
      run->records.back()->root = path;
      run->root_names.push_back(root);
      // A run without -u reads no record: it only brings it up to date.
      if (options.update) read_record(run->records.back().get());
    }
    run->root_of[i] = found.first->second;
  }
}

// The -d folder, made before any model: when it cannot be, no model could be
// written, and that is told once.
bool make_output_dir(const std::string& dir, std::string* why) {
  const fs::path path = native_name(dir, NameBytes::kUtf8);
  FileLook look;
  int code = 0;
  if (g_file_calls.look(path, true, &look, &code) && look.kind != FileLook::kMissing) {
    if (look.kind == FileLook::kFolder) return true;
    *why = "cannot create the output folder: it is a file";
    return false;
  }
  std::error_code ec;
  fs::create_directories(long_path(path), ec);
  if (ec) *why = "cannot create the output folder: " + ec.message();
  return !ec;
}

}  // namespace

int run_batch(BatchList& list, const BatchOptions& options, std::ostream& out, std::ostream& diag,
              Columns columns) {
  const std::vector<BatchItem>& items = list.items;
  const std::size_t n = items.size();
  Run run(list, options, out);
  run.outcome.assign(n, Outcome::kPending);
  std::uint64_t bytes_total = 0;
  std::size_t models = 0;
  for (const BatchItem& item : items) {
    bytes_total += item.bytes;
    models += item.model;
  }
  const std::size_t jobs = std::max<std::size_t>(1, std::min<std::size_t>(options.jobs, n));
  run.one_job = jobs == 1;
  std::unique_ptr<Slot[]> slots(new Slot[jobs]);
  const Clock::time_point start = Clock::now();
  find_records(&run);
  const bool status_line = columns != nullptr && options.quiet < 2;
  StatusLine status{diag};
  std::string why;
  if (options.output_dir && !make_output_dir(*options.output_dir, &why)) {
    report(diag, *options.output_dir, why);
    run.no_output = true;
  }
  // The status line now: at once, so that even a run shorter than the
  // interval shows its start.
  auto draw = [&]() {
    std::uint64_t bytes_read = run.bytes_done;
    std::size_t current = kIdle;
    for (std::size_t j = 0; j < jobs; ++j) {
      if (slots[j].item == kIdle) continue;
      bytes_read +=
          std::min(slots[j].reached.load(std::memory_order_relaxed), items[slots[j].item].bytes);
      current = std::min(current, slots[j].item);
    }
    if (current == kIdle && run.next.load() < n) current = run.next.load();
    const std::string name = current == kIdle ? "" : model_name(list, items[current]);
    return status_text(run.finished, n, bytes_read, bytes_total, seconds_since(start), name,
                       columns());
  };
  const auto interval = options.status_every;
  Clock::time_point next_draw = start + interval;
  if (status_line && n > 0) show_status(&status, "", draw());
  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < jobs; ++j) workers.emplace_back(work, &run, &slots[j]);

  std::size_t printed = 0;
  Tally tally;
  // A signal wakes nobody: the wait looks at the flag this often.
  const auto poll = std::chrono::milliseconds(50);
  std::unique_lock<std::mutex> lock(run.mutex);
  while (printed < n && !interrupted()) {
    auto ready = [&] { return run.outcome[printed] != Outcome::kPending || interrupted(); };
    const Clock::time_point wake = Clock::now() + poll;
    run.changed.wait_until(lock, status_line ? std::min(next_draw, wake) : wake, ready);
    std::string json;
    std::string text = take_lines(&run, &printed, &tally, false, &json);
    // After lines that scroll above it, the status line comes back at once,
    // so that it stays on the screen even when models take a millisecond.
    const bool redraw = status_line && printed < n && !interrupted() &&
                        (!text.empty() || Clock::now() >= next_draw);
    std::string line = redraw ? draw() : "";
    if (redraw) next_draw = Clock::now() + interval;
    lock.unlock();
    if (!json.empty()) out << json << std::flush;
    if (!text.empty() || redraw) show_status(&status, text, line);
    lock.lock();
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
  // After an interruption every model has stopped: what is left is told in
  // order, and the models that never ran are counted as not started.
  std::string json;
  std::string text = take_lines(&run, &printed, &tally, true, &json);
  tally.obj_bytes = run.obj_bytes;
  const bool stopped = interrupted();
  // Folded at the end of every run that may write: its own journal, and what
  // killed runs left.
  if (!options.dry_run) {
    for (const auto& record : run.records) fold_record(record.get());
  }
  const std::size_t counted = models - tally.would_convert;
  // A lone model's line says it all, and a PATH that failed alone needs no
  // "0 models"; an empty list does.
  const bool tally_wanted =
      (counted != 1 && !(counted == 0 && tally.path_failed)) || stopped || tally.not_started > 0;
  if (options.quiet < 2 && !options.dry_run && tally_wanted) {
    text += tally_line(tally, seconds_since(start)) + "\n";
  }
  if (stopped) text += "mdx2obj: interrupted\n";
  if (options.json) {
    json += "{\"type\": \"totals\"" + json_field("models", std::uint64_t(models)) +
            json_field("converted", std::uint64_t(tally.converted)) +
            json_field("up_to_date", std::uint64_t(tally.up_to_date)) +
            json_field("failed", std::uint64_t(tally.failed)) +
            json_field("not_started", std::uint64_t(tally.not_started)) +
            json_field("seconds", seconds_since(start)) + json_field("obj_bytes", tally.obj_bytes) +
            ", \"interrupted\": " + (stopped ? "true" : "false") + "}\n";
  }
  if (!json.empty()) out << json << std::flush;
  show_status(&status, text, "");
  const bool failed = tally.failed > 0 || tally.not_started > 0 || tally.path_failed;
  return failed ? kExitFailure : kExitSuccess;
}
