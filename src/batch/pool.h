// The jobs of a run converted by several threads at once. The pool renders no
// text: it tells what it starts and how each job ended, and the report (the
// one place that owns what the user sees) tells the user.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "batch/jobs.h"
#include "convert/convert.h"

enum class Outcome : unsigned char {
  kPending,
  kConverted,
  kUpToDate,
  kWouldConvert,  // -n: told, not converted
  kFailed,
  kNotStarted,
};

// How a job ended.
struct JobEnd {
  Outcome outcome = Outcome::kPending;
  Converted done;                     // what became of a model converted or failed
  std::string reason;                 // -n: why it would be converted
  std::vector<std::string> recorded;  // up to date or -n: the files the ledger lists with it
  double seconds = 0;
};

// The report's side: told from the pool's threads as each job starts and
// ends on thread `slot`.
struct JobEvents {
  virtual void job_started(std::size_t slot, std::size_t job) = 0;
  virtual void job_finished(std::size_t slot, std::size_t job, JobEnd&& end) = 0;

 protected:
  ~JobEvents() = default;
};

// One thread of the pool: how far the model it converts has been read, and
// the buffers it keeps from one model to the next.
struct Slot {
  std::atomic<std::uint64_t> reached{0};
  JobBuffers buffers;
};

struct Pool {
  JobList& list;
  Settings settings;  // the run's, with what plan_pool decides for its models
  JobEvents& events;
  std::ostream& out;  // the OBJ text of "-o -"
  std::size_t threads = 1;
  std::unique_ptr<Slot[]> slots;
  std::atomic<std::size_t> next{0};  // the next job to take
  std::vector<std::thread> workers;
  // Why the -d folder cannot be made, so that nothing can be written: the
  // first model fails with it, and the others are not started.
  std::string no_output;
  std::size_t first_model = 0;  // the first job that is a model to convert
  // File systems where no OBJ can be written any more (full, read-only);
  // none in almost every run.
  std::mutex mutex;
  std::vector<std::uint64_t> dead_devices;
  std::atomic<bool> any_dead{false};
  TextureStore textures;  // the images of the run's models, each made once
  TextureLookup lookup;   // the folders the textures were looked for in
  RunFolders run_folders;
  std::vector<std::uint32_t> run_folder;  // of each job, with -m
  MadeImages made_images;                 // with -u -m: as the ledgers remember them
  RunTextures run_textures;               // all of these, as each conversion takes them

  // Models converting at once, at most settings.jobs: with -m a model that
  // waits for another's image gives its turn to one that can go on, on
  // threads of their own (up to twice as many).
  std::size_t at_once = 1;
  std::mutex turns_mutex;
  std::condition_variable turns_changed;
  std::size_t turns_taken = 0;

  Pool(JobList& l, const Settings& o, JobEvents& e, std::ostream& s)
      : list(l), settings(o), events(e), out(s) {}
};

// Sizes the pool: settings.jobs threads at most, one per job.
void plan_pool(Pool* pool);

// Starts the threads; each takes the next job until none is left or the run
// is interrupted.
void start_pool(Pool* pool);

// Waits for the threads to end.
void join_pool(Pool* pool);
