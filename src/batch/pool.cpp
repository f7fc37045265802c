#include "batch/pool.h"

#include <algorithm>
#include <chrono>

#include "batch/job_record.h"
#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/output_file.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

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

bool dead(const Pool& pool, std::uint64_t device) {
  return std::find(pool.dead_devices.begin(), pool.dead_devices.end(), device) !=
         pool.dead_devices.end();
}

// A fault that no later model on its file system can escape is told once,
// by the first model that meets it: true for that one.
bool first_to_meet(Pool* pool, const fs::path& obj) {
  const std::uint64_t device = output_device(obj);
  std::lock_guard<std::mutex> lock(pool->mutex);
  if (dead(*pool, device)) return false;
  pool->dead_devices.push_back(device);
  pool->any_dead.store(true);
  return true;
}

bool on_dead_device(Pool* pool, const fs::path& obj) {
  if (pool->settings.to_stdout || !pool->any_dead.load()) return false;
  const std::uint64_t device = output_device(obj);
  std::lock_guard<std::mutex> lock(pool->mutex);
  return dead(*pool, device);
}

JobEnd convert_job(Pool* pool, Slot* slot, std::size_t i) {
  const Job& job = pool->list.jobs[i];
  JobEnd end;
  if (job.failure != 0) {
    end.outcome = Outcome::kFailed;
    end.done.failure.name = std::string(model_name(pool->list, job));
    end.done.failure.why = failure_of(pool->list, job);
    return end;
  }
  const ModelLook look = model_look(job);
  Conversion conversion;
  conversion.model.shown = std::string(model_name(pool->list, job));
  conversion.model.path = native_name(conversion.model.shown, NameBytes::kUtf8);
  conversion.obj.shown = std::string(obj_name(pool->list, job));
  conversion.obj.path = native_name(conversion.obj.shown, NameBytes::kUtf8);
  conversion.seen = &look;
  conversion.reached = &slot->reached;
  conversion.buffers = &slot->buffers;
  conversion.order = i;
  conversion.textures = &pool->run_textures;
  if (!pool->run_folder.empty()) {
    conversion.run_folder = &pool->run_folders.all[pool->run_folder[i]];
  }
  end.outcome = Outcome::kNotStarted;
  if (!pool->no_output.empty()) {
    // A fault that no model can escape is told once, by the first model, as
    // its failure in every form.
    if (i != pool->first_model) return end;
    end.outcome = Outcome::kFailed;
    end.done.failure.name = conversion.obj.shown;
    end.done.failure.why = pool->no_output;
    return end;
  }
  if (on_dead_device(pool, conversion.obj.path)) return end;
  Ledger* ledger = job.ledger == kNoLedger ? nullptr : pool->list.ledgers.all[job.ledger].get();
  const std::string key =
      ledger ? ledger_key(pool->list.ledgers, *ledger, conversion.obj.path) : "";
  if (ledger && settled_by_ledger(pool, job, ledger, key, conversion, &end)) return end;
  if (ledger) open_journal(ledger);
  conversion.look_at_obj = ledger != nullptr;
  std::ostream no_progress(nullptr);
  const auto start = Clock::now();
  end.done = convert_model(pool->settings, conversion, no_progress, pool->out);
  end.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (end.done.stopped) {
    // Stopped because the reader of standard output left: what it was doing
    // is lost, a failure; an interruption's models are not started.
    if (output_closed()) {
      end.outcome = Outcome::kFailed;
      end.done.failure.name = conversion.model.shown;
      end.done.failure.why = "output closed";
    }
    return end;
  }
  if (end.done.failure.file_system && !first_to_meet(pool, conversion.obj.path)) return end;
  if (ledger) note_in_ledger(*pool, job, ledger, key, conversion, end.done);
  end.outcome = end.done.ok ? Outcome::kConverted : Outcome::kFailed;
  return end;
}

// A turn to convert: at most pool->at_once models at once.
void take_turn(void* context) {
  Pool* pool = static_cast<Pool*>(context);
  std::unique_lock<std::mutex> lock(pool->turns_mutex);
  while (pool->turns_taken >= pool->at_once && !interrupted()) {
    pool->turns_changed.wait_for(lock, std::chrono::milliseconds(50));
  }
  ++pool->turns_taken;
}

void give_turn(void* context) {
  Pool* pool = static_cast<Pool*>(context);
  {
    std::lock_guard<std::mutex> lock(pool->turns_mutex);
    --pool->turns_taken;
  }
  pool->turns_changed.notify_one();
}

void work(Pool* pool, std::size_t index) {
  Slot* slot = &pool->slots[index];
  while (!interrupted()) {
    take_turn(pool);
    const std::size_t i = pool->next.fetch_add(1);
    if (i >= pool->list.jobs.size()) return give_turn(pool);
    slot->reached.store(0, std::memory_order_relaxed);
    pool->events.job_started(index, i);
    JobEnd end = convert_job(pool, slot, i);
    // Whatever became of it, the models after it claim their images.
    end_turn(&pool->textures, i);
    give_turn(pool);
    pool->events.job_finished(index, i, std::move(end));
  }
}

// Where the run's textures are looked for and their images go.
void plan_textures(Pool* pool) {
  RunTextures& textures = pool->run_textures;
  for (const std::string& folder : pool->settings.textures) {
    textures.search.push_back(native_name(folder, NameBytes::kUtf8));
  }
  find_run_folders(pool->list, &pool->run_folders, &pool->run_folder);
  start_lookup(&pool->lookup, pool->run_folders.cwd);
  textures.run_folders = &pool->run_folders;
  start_texture_store(&pool->textures, pool->list.jobs.size());
  pool->textures.hooks = {give_turn, take_turn, pool};
  textures.store = &pool->textures;
  textures.lookup = &pool->lookup;
  if (pool->settings.update) {
    images_made_before(pool->list, &pool->made_images);
    textures.made = &pool->made_images;
  }
}

}  // namespace

void plan_pool(Pool* pool) {
  Settings& settings = pool->settings;
  const std::size_t jobs_count = pool->list.jobs.size();
  pool->at_once = std::max<std::size_t>(1, std::min<std::size_t>(settings.jobs, jobs_count));
  // A model that waits for an image leaves its thread idle: another thread
  // converts meanwhile.
  const std::size_t spare = settings.materials ? pool->at_once : 0;
  pool->threads = std::max<std::size_t>(1, std::min(pool->at_once + spare, jobs_count));
  pool->slots.reset(new Slot[pool->threads]);
  const std::vector<Job>& jobs = pool->list.jobs;
  while (pool->first_model < jobs.size() && jobs[pool->first_model].failure != 0) {
    ++pool->first_model;
  }
  settings.geosets_needed = true;
  // About one thread per core in all: several jobs keep the cores busy
  // without a writer thread or formatting threads each.
  settings.writer_thread = pool->at_once == 1;
  settings.chunk_walk = true;
  if (settings.materials || settings.format == OutputFormat::kGlb) plan_textures(pool);
  if (pool->at_once > 1) settings.format_threads = 1;
}

void start_pool(Pool* pool) {
  for (std::size_t j = 0; j < pool->threads; ++j) {
    pool->workers.emplace_back(work, pool, j);
  }
}

void join_pool(Pool* pool) {
  for (std::thread& worker : pool->workers) worker.join();
  pool->workers.clear();
}
