#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "batch/batch.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Outcome : unsigned char { kPending, kConverted, kFailed };

constexpr std::size_t kIdle = static_cast<std::size_t>(-1);

// One job: the model it converts now and how far that model has been read.
struct Slot {
  std::atomic<std::uint64_t> reached{0};
  std::size_t item = kIdle;  // guarded by Run::mutex
};

struct Run {
  Run(std::vector<BatchItem>& i, const BatchOptions& o, std::ostream& s)
      : items(i), options(o), out(s) {}
  std::vector<BatchItem>& items;
  const BatchOptions& options;
  std::ostream& out;
  bool one_job = true;
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by the mutex. A line is dropped once it is printed.
  std::vector<Outcome> outcome;
  std::vector<std::string> lines;
  std::size_t finished = 0;
  std::uint64_t bytes_done = 0;
  std::uint64_t obj_bytes = 0;
};

Outcome convert_item(const BatchItem& item, const BatchOptions& options, bool alone,
                     std::ostream& out, std::atomic<std::uint64_t>* reached, std::string* line,
                     std::uint64_t* obj_bytes) {
  std::ostringstream diag;
  if (!item.failure.empty()) {
    report(diag, item.model.shown, item.failure);
    *line = diag.str();
    return Outcome::kFailed;
  }
  Conversion job;
  job.model = item.model;
  job.obj = item.obj;
  job.to_stdout = options.output && *options.output == "-";
  job.objects = options.objects;
  job.geosets_needed = true;
  job.make_folders = options.output_dir.has_value();
  job.reached = reached;
  // About one thread per core in all: several jobs keep the cores busy
  // without a writer thread each.
  job.writer_thread = alone;
  std::ostream no_progress(nullptr);
  WalkCounts counts;
  if (convert_model(job, no_progress, out, diag, &counts) != kExitSuccess) {
    *line = diag.str();
    return Outcome::kFailed;
  }
  *obj_bytes = counts.obj_bytes;
  if (!options.quiet) {
    *line =
        summary_line(item.model.shown, job.to_stdout ? "standard output" : item.obj.shown, counts) +
        "\n";
  }
  return Outcome::kConverted;
}

void work(Run* run, Slot* slot) {
  for (;;) {
    std::size_t i = run->next.fetch_add(1);
    if (i >= run->items.size()) return;
    slot->reached.store(0, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      slot->item = i;
    }
    std::string line;
    std::uint64_t obj_bytes = 0;
    Outcome outcome = convert_item(run->items[i], run->options, run->one_job, run->out,
                                   &slot->reached, &line, &obj_bytes);
    {
      std::lock_guard<std::mutex> lock(run->mutex);
      run->outcome[i] = outcome;
      run->lines[i] = std::move(line);
      ++run->finished;
      run->bytes_done += run->items[i].bytes;
      run->obj_bytes += obj_bytes;
      slot->item = kIdle;
    }
    run->changed.notify_one();
  }
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Takes the status line off the terminal, so that other lines can be written
// where it stood.
std::string erase(std::string* shown) {
  if (shown->empty()) return "";
  std::string text = "\r" + std::string(shown->size(), ' ') + "\r";
  shown->clear();
  return text;
}

}  // namespace

int run_batch(std::vector<BatchItem>& items, const BatchOptions& options, std::ostream& out,
              std::ostream& diag, int status_columns) {
  const std::size_t n = items.size();
  Run run(items, options, out);
  run.outcome.assign(n, Outcome::kPending);
  run.lines.resize(n);
  std::uint64_t bytes_total = 0;
  for (const BatchItem& item : items) bytes_total += item.bytes;
  const std::size_t jobs = std::max<std::size_t>(1, std::min<std::size_t>(options.jobs, n));
  run.one_job = jobs == 1;
  std::unique_ptr<Slot[]> slots(new Slot[jobs]);
  const Clock::time_point start = Clock::now();
  const bool status_line = status_columns > 0 && !options.quiet;
  const auto interval = options.status_every;
  Clock::time_point next_draw = start + interval;
  std::string shown;  // the status line now on the terminal
  if (status_line && n > 0) {
    // At once, so that even a run shorter than the interval shows its start.
    shown = status_text(0, n, 0, bytes_total, 0, items[0].model.shown, status_columns);
    diag << shown << std::flush;
  }
  std::vector<std::thread> workers;
  for (std::size_t j = 0; j < jobs; ++j) workers.emplace_back(work, &run, &slots[j]);

  std::size_t printed = 0, converted = 0, failed = 0;
  std::unique_lock<std::mutex> lock(run.mutex);
  while (printed < n) {
    auto ready = [&] { return run.outcome[printed] != Outcome::kPending; };
    if (status_line) {
      run.changed.wait_until(lock, next_draw, ready);
    } else {
      run.changed.wait(lock, ready);
    }
    std::string text;
    for (; printed < n && run.outcome[printed] != Outcome::kPending; ++printed) {
      (run.outcome[printed] == Outcome::kConverted ? converted : failed) += 1;
      text += run.lines[printed];
      std::string().swap(run.lines[printed]);
    }
    std::string status;
    bool draw = status_line && printed < n && Clock::now() >= next_draw;
    if (draw) {
      std::uint64_t bytes_read = run.bytes_done;
      std::size_t current = kIdle;
      for (std::size_t j = 0; j < jobs; ++j) {
        if (slots[j].item == kIdle) continue;
        bytes_read +=
            std::min(slots[j].reached.load(std::memory_order_relaxed), items[slots[j].item].bytes);
        current = std::min(current, slots[j].item);
      }
      const std::string name = current == kIdle ? "" : items[current].model.shown;
      status = status_text(run.finished, n, bytes_read, bytes_total, seconds_since(start), name,
                           status_columns);
      next_draw = Clock::now() + interval;
    }
    lock.unlock();
    if (!text.empty() || draw) {
      std::string screen = erase(&shown) + text + status;
      shown = status;
      diag << screen << std::flush;
    }
    lock.lock();
  }
  lock.unlock();
  for (std::thread& worker : workers) worker.join();
  if (n > 1 && !options.quiet) {
    diag << tally_line(converted, failed, seconds_since(start), run.obj_bytes) << std::endl;
  }
  return failed > 0 ? kExitFailure : kExitSuccess;
}
