#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "batch/batch.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/output_file.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

enum class Outcome : unsigned char { kPending, kConverted, kFailed, kNotStarted };

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
  // Guarded by the mutex. A line waits here only until it is printed.
  std::vector<Outcome> outcome;
  std::unordered_map<std::size_t, std::string> lines;
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

Outcome convert_item(Run* run, std::size_t i, Slot* slot, std::string* line,
                     std::uint64_t* obj_bytes) {
  const BatchOptions& options = run->options;
  const BatchItem& item = run->list.items[i];
  const std::string model = model_name(run->list, item);
  std::ostringstream diag;
  if (item.failure != 0) {
    report(diag, model, failure_of(run->list, item));
    *line = diag.str();
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
  job.objects = options.objects;
  job.geosets_needed = true;
  job.make_folders = options.output_dir.has_value();
  job.reached = &slot->reached;
  job.buffers = &slot->buffers;
  // About one thread per core in all: several jobs keep the cores busy
  // without a writer thread each.
  job.writer_thread = run->one_job;
  std::ostream no_progress(nullptr);
  Converted done = convert_model(job, no_progress, run->out, diag);
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
  if (done.status != kExitSuccess) {
    *line = diag.str();
    return Outcome::kFailed;
  }
  *obj_bytes = done.counts.obj_bytes;
  if (options.quiet == 0) {
    *line = summary_line(model, job.to_stdout ? "standard output" : obj, done.counts) + "\n";
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
    std::string line;
    std::uint64_t obj_bytes = 0;
    Outcome outcome = convert_item(run, i, slot, &line, &obj_bytes);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      run->outcome[i] = outcome;
      if (!line.empty()) run->lines[i] = std::move(line);
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
// first one still under way (or, with `to_end`, all of them). Only models
// count in the tally; a PATH that failed as a whole is a line of its own.
std::string take_lines(Run* run, std::size_t* printed, Tally* tally, bool to_end) {
  std::string text;
  for (; *printed < run->list.items.size(); ++*printed) {
    const Outcome outcome = run->outcome[*printed];
    if (outcome == Outcome::kPending && !to_end) break;
    if (run->list.items[*printed].model) {
      tally->converted += outcome == Outcome::kConverted;
      tally->failed += outcome == Outcome::kFailed;
      tally->not_started += outcome == Outcome::kPending || outcome == Outcome::kNotStarted;
    } else {
      tally->path_failed = true;
    }
    auto line = run->lines.find(*printed);
    if (line != run->lines.end()) {
      text += line->second;
      run->lines.erase(line);
    }
  }
  return text;
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
    std::string text = take_lines(&run, &printed, &tally, false);
    // After lines that scroll above it, the status line comes back at once,
    // so that it stays on the screen even when models take a millisecond.
    const bool redraw = status_line && printed < n && !interrupted() &&
                        (!text.empty() || Clock::now() >= next_draw);
    std::string line = redraw ? draw() : "";
    if (redraw) next_draw = Clock::now() + interval;
    lock.unlock();
    if (!text.empty() || redraw) show_status(&status, text, line);
    lock.lock();
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
  // After an interruption every model has stopped: what is left is told in
  // order, and the models that never ran are counted as not started.
  std::string text = take_lines(&run, &printed, &tally, true);
  tally.obj_bytes = run.obj_bytes;
  const bool stopped = interrupted();
  if (options.quiet < 2 && (models > 1 || stopped || tally.not_started > 0)) {
    text += tally_line(tally, seconds_since(start)) + "\n";
  }
  if (stopped) text += "mdx2obj: interrupted\n";
  show_status(&status, text, "");
  const bool failed = tally.failed > 0 || tally.not_started > 0 || tally.path_failed;
  return failed ? kExitFailure : kExitSuccess;
}
