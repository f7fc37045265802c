// Everything a run shows its user, in one place: each job's line on standard
// error and its JSON line (or dry run's line) on standard output, released in
// the run's order whatever the number of jobs; the status line on a
// terminal; the failures that are no model's; the tally and the totals.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch/pool.h"
#include "batch/status_text.h"

// The width of the terminal that gets the status line, asked at each redraw
// so that a resize takes effect; null where there is no terminal.
using Columns = int (*)();

constexpr std::size_t kIdle = static_cast<std::size_t>(-1);

struct Report : JobEvents {
  using Clock = std::chrono::steady_clock;

  const JobList& list;
  const Settings& options;
  std::ostream& out;
  std::ostream& diag;
  Columns columns;  // null: no status line
  Clock::time_point start = Clock::now();
  std::uint64_t bytes_total = 0;  // of every model of the run
  // Guarded by the mutex: what the pool told. An end waits here only until
  // its lines are out.
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Outcome> outcome;
  std::unordered_map<std::size_t, JobEnd> ends;
  // The job each thread of the pool converts (kIdle: none), told with the
  // ends, so that a job's bytes count once whether it runs or has ended.
  std::vector<std::size_t> running;
  std::size_t finished = 0;
  std::uint64_t bytes_done = 0;
  std::uint64_t obj_bytes = 0;
  // The reporting thread's own.
  std::size_t told = 0;  // jobs whose lines are out
  Tally tally;
  bool other_failed = false;  // a failure that is no model's and no PATH's
  StatusLine status;
  Clock::time_point next_draw;

  Report(const JobList& l, const Settings& o, std::ostream& s, std::ostream& d, Columns c)
      : list(l), options(o), out(s), diag(d), columns(c), status{d} {}
  void job_started(std::size_t slot, std::size_t job) override;
  void job_finished(std::size_t slot, std::size_t job, JobEnd&& end) override;
};

// A failure that is no job's, told at once: "mdx2obj: NAME: WHY", and a
// {"type": "failure"} line.
void tell_other_failure(Report* report, const std::string& name, const std::string& why);

// An OBJ whose model is gone (--delete): removed, or with -n, to be removed.
void tell_removal(Report* report, const std::string& model, const std::string& obj);

// The status line's first drawing, before any job starts: even a run
// shorter than its interval shows its start.
void begin_report(Report* report, const Pool& pool);

// Follows the run until every job is told or the run is interrupted: the
// lines of the jobs that ended, in order, and the status line.
void follow_run(Report* report, const Pool& pool);

// Once the pool has ended: the jobs not told yet, those that never started
// as not started.
void tell_rest(Report* report);

// The tally and the totals; returns the run's exit status.
int end_report(Report* report);
