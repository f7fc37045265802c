#include "obj/obj_pool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "common/cpus.h"
#include "common/file_identity.h"
#include "obj/record_text.h"

namespace {

// Spans in one chunk at most: pieces of a few geosets' blocks.
constexpr int kChunkSpans = 64;

}  // namespace

// A block of text for the writer thread and, with formatting threads, the
// spans it is made of: their records copied from the model, since its window
// moves on.
struct ObjChunk {
  std::unique_ptr<char[]> text;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool formatted = false;
  std::unique_ptr<unsigned char[]> input;
  std::size_t input_capacity = 0;
  std::size_t input_used = 0;
  RecordSpan spans[kChunkSpans];
  int span_count = 0;
  std::size_t estimate = 0;  // the text the spans are expected to make
};

struct ObjPool {
  std::mutex mutex;
  std::condition_variable work;   // a chunk to format, or the end
  std::condition_variable done;   // the next chunk to write is formatted, or the end
  std::condition_variable freed;  // a chunk is free again, or the writer is idle
  // Guarded by the mutex.
  std::vector<ObjChunk*> free;
  std::deque<ObjChunk*> order;  // handed on, written front first
  std::deque<ObjChunk*> todo;   // handed on, to be formatted by the pool
  bool writing = false;
  bool stop = false;
  // Set with the error, under the mutex; read without it by the sink's thread,
  // which asks at every block whether to go on.
  std::atomic<bool> failed{false};
  std::string error;
  std::uint64_t taken = 0;  // text bytes that reached the writer thread
  // Counts every change that a thread may wait for, so that a waiting thread
  // can watch for one without the mutex.
  std::atomic<unsigned> changes{0};
  // Set before the threads start.
  bool formats = false;
  std::size_t capacity = 0;
  const Settings* style = nullptr;
  std::vector<std::unique_ptr<ObjChunk>> chunks;
  // With formatting threads, the chunk that the sink's thread fills; no other
  // thread sees it until it is handed on.
  ObjChunk* filling = nullptr;
  std::thread writer;
  std::vector<std::thread> formatters;
  // The CPU of each thread, the sink's first, where there is one for each;
  // else empty.
  std::vector<int> pinned;
  std::vector<int> allowed;  // the sink's thread's CPUs before the pool
};

namespace {

// Tells a thread waiting on `cv` (every one, with `all`) that the state
// changed; the mutex is held.
void signal(ObjPool* w, std::condition_variable& cv, bool all = false) {
  w->changes.fetch_add(1, std::memory_order_release);
  if (all) {
    cv.notify_all();
  } else {
    cv.notify_one();
  }
}

// Waits, with the mutex held, until `ready`. Most waits in the pool are short
// (a chunk that another thread is formatting or writing): the thread first
// yields its CPU for up to 500 us before it sleeps, since the kernel takes
// longer to wake a sleeping thread than most such waits last.
template <class Ready>
void await(ObjPool* w, std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
           Ready ready) {
  if (ready()) return;
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
  while (!ready()) {
    const unsigned seen = w->changes.load(std::memory_order_acquire);
    lock.unlock();
    bool changed = false;
    while (!changed && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
      changed = w->changes.load(std::memory_order_acquire) != seen;
    }
    lock.lock();
    if (!changed) break;
  }
  cv.wait(lock, ready);
}

void clear_chunk(ObjChunk* c) {
  c->used = 0;
  c->formatted = false;
  c->input_used = 0;
  c->span_count = 0;
  c->estimate = 0;
}

// Keeps thread `index` of the pool (0: the sink's own, 1: the writer) on a CPU
// of its own, where the pool has one for each: the kernel does not always
// spread threads that hand work to each other, and two of them can share one
// core for a whole model while another stays idle.
void pin(ObjPool* w, std::size_t index) {
  if (index < w->pinned.size()) run_on({w->pinned[index]});
}

// A CPU for each thread of the pool, from the one the sink's thread runs on.
void choose_cpus(ObjPool* w, int threads) {
  if (!pinning_wanted()) return;
  w->allowed = allowed_cpus();
  const auto here = std::find(w->allowed.begin(), w->allowed.end(), current_cpu());
  if (here == w->allowed.end() || w->allowed.size() < static_cast<std::size_t>(threads)) return;
  const std::size_t first = static_cast<std::size_t>(here - w->allowed.begin());
  for (int i = 0; i < threads; ++i) {
    w->pinned.push_back(w->allowed[(first + static_cast<std::size_t>(i)) % w->allowed.size()]);
  }
}

// A chunk's text outgrows its buffer only where the model's numbers are far
// longer than most (coordinates of many digits): the buffer doubles.
struct ChunkSpace : TextSpace {
  ObjChunk* chunk = nullptr;
};

void grow_chunk(TextSpace* space) {
  ObjChunk& c = *static_cast<ChunkSpace*>(space)->chunk;
  const std::size_t used = static_cast<std::size_t>(space->at - c.text.get());
  std::unique_ptr<char[]> bigger(new char[2 * c.capacity]);
  std::memcpy(bigger.get(), c.text.get(), used);
  c.text = std::move(bigger);
  c.capacity *= 2;
  space->at = c.text.get() + used;
  space->end = c.text.get() + c.capacity;
}

void format_chunk(ObjChunk* c, const Settings& style) {
  ChunkSpace space;
  space.chunk = c;
  space.at = c->text.get();
  space.end = space.at + c->capacity;
  space.more = grow_chunk;
  for (int i = 0; i < c->span_count; ++i) format_span(c->spans[i], style, &space);
  c->used = static_cast<std::size_t>(space.at - c->text.get());
}

// Formats the oldest chunk that no thread has taken yet, on this thread.
// Called, and returns, with the pool's mutex held.
void format_next(ObjPool* w, std::unique_lock<std::mutex>& lock) {
  ObjChunk* c = w->todo.front();
  w->todo.pop_front();
  const bool skip = w->failed;  // its text would not be written
  lock.unlock();
  if (!skip) format_chunk(c, *w->style);
  lock.lock();
  c->formatted = true;
  if (c == w->order.front()) signal(w, w->done);
}

void format_chunks(ObjPool* w, std::size_t index) {
  pin(w, index);
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    await(w, w->work, lock, [w] { return w->stop || !w->todo.empty(); });
    if (w->todo.empty()) return;
    format_next(w, lock);
  }
}

// Writes a block whole; "" or the reason it could not be, as the C library
// tells it.
std::string write_block(std::streambuf* out, const char* text, std::size_t size) {
  errno = 0;
  const std::streamsize want = static_cast<std::streamsize>(size);
  return out->sputn(text, want) == want ? std::string() : errno_text("write failed");
}

// The writer thread. Rather than wait for the next chunk to be formatted by
// another thread, it formats the oldest chunk that none has taken.
void write_chunks(ObjPool* w, std::streambuf* out) {
  pin(w, 1);
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    await(w, w->done, lock, [w] {
      return w->order.empty() ? w->stop : w->order.front()->formatted || !w->todo.empty();
    });
    if (w->order.empty()) return;
    if (!w->order.front()->formatted) {
      format_next(w, lock);
      continue;
    }
    ObjChunk* c = w->order.front();
    w->order.pop_front();
    w->writing = true;
    w->taken += c->used;
    const bool skip = w->failed;  // nothing after a failed write is written
    lock.unlock();
    std::string error;
    if (!skip && c->used > 0) error = write_block(out, c->text.get(), c->used);
    lock.lock();
    if (!error.empty() && !w->failed) {
      w->error = error;
      w->failed = true;
    }
    w->writing = false;
    clear_chunk(c);
    w->free.push_back(c);
    signal(w, w->freed);
  }
}

// The chunk being filled goes to the formatters and the writer, and a free
// one takes its place; after a failure its spans are dropped.
void hand_on(ObjPool* w) {
  std::unique_lock<std::mutex> lock(w->mutex);
  ObjChunk* c = w->filling;
  if (c->span_count == 0 || w->failed) {
    clear_chunk(c);
    return;
  }
  w->order.push_back(c);
  w->todo.push_back(c);
  signal(w, w->work);
  signal(w, w->done);
  // Rather than wait for a free chunk, this thread formats one too.
  while (w->free.empty()) {
    if (!w->todo.empty()) {
      format_next(w, lock);
    } else {
      await(w, w->freed, lock, [w] { return !w->free.empty(); });
    }
  }
  w->filling = w->free.back();
  w->free.pop_back();
}

bool pool_failed(const ObjPool* w) { return w->failed.load(std::memory_order_acquire); }

}  // namespace

ObjPoolPtr start_obj_pool(std::streambuf* out, std::size_t capacity, int threads,
                          const Settings* style) {
  ObjPoolPtr pool(new ObjPool);
  ObjPool& w = *pool;
  w.formats = threads > 1;
  w.capacity = capacity;
  w.style = style;
  // Without formatting threads, three blocks in all: the sink's, one being
  // written, one spare. With them, a chunk for each thread, one being filled
  // and one being written.
  const int chunks = w.formats ? threads + 2 : 2;
  for (int i = 0; i < chunks; ++i) {
    w.chunks.emplace_back(new ObjChunk);
    ObjChunk* c = w.chunks.back().get();
    c->text.reset(new char[capacity]);
    c->capacity = capacity;
    if (w.formats) {
      // Room for the records of three quarters of a block of text, whatever
      // their kind.
      c->input_capacity = capacity / 4;
      c->input.reset(new unsigned char[c->input_capacity]);
    }
    w.free.push_back(c);
  }
  if (w.formats) {
    w.filling = w.free.back();
    w.free.pop_back();
    choose_cpus(&w, threads);
  }
  w.writer = std::thread(write_chunks, &w, out);
  // The writer thread and the sink's own format too: with them, as many
  // threads as `threads` format at once.
  for (int i = 2; w.formats && i < threads; ++i) w.formatters.emplace_back(format_chunks, &w, i);
  pin(&w, 0);
  return pool;
}

bool pool_formats(const ObjPool& pool) { return pool.formats; }

void pool_write_block(ObjPool* w, std::unique_ptr<char[]>* block, std::size_t* capacity,
                      std::size_t used) {
  std::unique_lock<std::mutex> lock(w->mutex);
  await(w, w->freed, lock, [w] { return !w->free.empty(); });
  ObjChunk* c = w->free.back();
  w->free.pop_back();
  c->text.swap(*block);
  std::swap(c->capacity, *capacity);
  c->used = used;
  c->formatted = true;
  w->order.push_back(c);
  signal(w, w->done);
}

void pool_add_records(ObjPool* w, RecordKind kind, const unsigned char* records,
                      std::uint32_t count, std::uint64_t base) {
  const std::size_t size = record_size(kind);
  const std::size_t each = estimated_text(kind, base);
  const std::size_t target = w->capacity / 4 * 3;
  while (count > 0 && !pool_failed(w)) {
    ObjChunk& c = *w->filling;
    std::size_t n = c.estimate < target ? (target - c.estimate + each - 1) / each : 0;
    if (size > 0) n = std::min(n, (c.input_capacity - c.input_used) / size);
    n = std::min<std::size_t>(n, count);
    RecordSpan* last = c.span_count > 0 ? &c.spans[c.span_count - 1] : nullptr;
    const bool extends = last && size > 0 && last->kind == kind && last->base == base &&
                         last->bytes + last->count * size == c.input.get() + c.input_used;
    if (n == 0 || (!extends && c.span_count == kChunkSpans)) {
      hand_on(w);
      continue;
    }
    if (!extends) {
      last = &c.spans[c.span_count++];
      *last = RecordSpan{kind, 0, base, c.input.get() + c.input_used};
    }
    if (size > 0) std::memcpy(c.input.get() + c.input_used, records, n * size);
    last->count += static_cast<std::uint32_t>(n);
    c.input_used += n * size;
    c.estimate += n * each;
    records += n * size;
    count -= static_cast<std::uint32_t>(n);
  }
}

bool pool_drain(ObjPool* w, std::uint64_t* written, std::string* err) {
  if (w->formats) hand_on(w);
  std::unique_lock<std::mutex> lock(w->mutex);
  // Every chunk written before the stream itself is flushed.
  await(w, w->freed, lock, [w] { return w->order.empty() && !w->writing; });
  *written = w->taken;
  if (w->failed) *err = w->error;
  return !w->failed;
}

std::string pool_failure(ObjPool* w) {
  if (!pool_failed(w)) return "";
  std::lock_guard<std::mutex> lock(w->mutex);
  return w->error;
}

void pool_give_up(ObjPool* w, const std::string& why) {
  std::lock_guard<std::mutex> lock(w->mutex);
  if (w->failed) return;
  w->error = why;
  w->failed = true;
}

void EndObjPool::operator()(ObjPool* pool) const {
  ObjPool& w = *pool;
  {
    std::lock_guard<std::mutex> lock(w.mutex);
    w.stop = true;
    signal(&w, w.work, true);
    signal(&w, w.done, true);
  }
  for (std::thread& t : w.formatters) t.join();
  w.writer.join();
  if (!w.pinned.empty()) run_on(w.allowed);
  delete pool;
}
