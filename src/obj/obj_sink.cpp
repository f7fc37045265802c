#include "obj/obj_sink.h"

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
#include "common/interrupt.h"

namespace {

// Runs in one chunk at most: pieces of a few geosets' blocks.
constexpr int kChunkRuns = 64;

}  // namespace

// A block of text for the writer thread and, with a pool, the runs it is made
// of: their records copied from the model, since its window moves on.
struct ObjChunk {
  std::unique_ptr<char[]> text;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool formatted = false;
  std::unique_ptr<unsigned char[]> input;
  std::size_t input_capacity = 0;
  std::size_t input_used = 0;
  RecordRun runs[kChunkRuns];
  int run_count = 0;
  std::size_t estimate = 0;  // the text the runs are expected to make
  Placement placement;
};

// The writer thread, the pool's threads and the chunks that pass between
// them and the sink's thread.
struct ObjWriter {
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
  bool failed = false;
  std::string error;
  std::uint64_t taken = 0;  // text bytes that reached the writer thread
  // Counts every change that a thread may wait for, so that a waiting thread
  // can watch for one without the mutex.
  std::atomic<unsigned> changes{0};
  // Set before the threads start.
  bool pool = false;
  std::vector<std::unique_ptr<ObjChunk>> chunks;
  // With a pool, the chunk that the sink's thread fills with runs; no other
  // thread sees it until it is handed on.
  ObjChunk* filling = nullptr;
  std::thread writer;
  std::vector<std::thread> formatters;
  // With a pool of no more threads than the CPUs the process may use, the
  // CPU of each thread, the sink's first; else empty.
  std::vector<int> placed;
  std::vector<int> allowed;  // the sink's thread's CPUs before the pool
};

namespace {

// Tells a thread waiting on `cv` (every one, with `all`) that the state
// changed; the mutex is held.
void signal(ObjWriter* w, std::condition_variable& cv, bool all = false) {
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
void await(ObjWriter* w, std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
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

// Writes a block whole; "" or the reason it could not be, as the stream's
// errno tells it (none set by an earlier call).
std::string write_block(std::streambuf* out, const char* text, std::size_t size) {
  errno = 0;
  const std::streamsize want = static_cast<std::streamsize>(size);
  return out->sputn(text, want) == want ? std::string() : errno_text("write failed");
}

void clear_chunk(ObjChunk* c) {
  c->used = 0;
  c->formatted = false;
  c->input_used = 0;
  c->run_count = 0;
  c->estimate = 0;
}

// Keeps thread `index` of the pool (0: the sink's own, 1: the writer) on a CPU
// of its own, where the pool has one for each: the kernel does not always
// spread threads that hand work to each other, and two of them can share one
// core for a whole model while another stays idle.
void take_cpu(ObjWriter* w, std::size_t index) {
  if (index < w->placed.size()) run_on({w->placed[index]});
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

void format_chunk(ObjChunk* c) {
  ChunkSpace space;
  space.chunk = c;
  space.at = c->text.get();
  space.end = space.at + c->capacity;
  space.more = grow_chunk;
  for (int i = 0; i < c->run_count; ++i) format_run(c->runs[i], c->placement, &space);
  c->used = static_cast<std::size_t>(space.at - c->text.get());
}

// Formats the oldest chunk that no thread has taken yet, on this thread.
// Called, and returns, with the writer's mutex held.
void format_next(ObjWriter* w, std::unique_lock<std::mutex>& lock) {
  ObjChunk* c = w->todo.front();
  w->todo.pop_front();
  const bool skip = w->failed;  // its text would not be written
  lock.unlock();
  if (!skip) format_chunk(c);
  lock.lock();
  c->formatted = true;
  if (c == w->order.front()) signal(w, w->done);
}

void format_chunks(ObjWriter* w, std::size_t index) {
  take_cpu(w, index);
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    await(w, w->work, lock, [w] { return w->stop || !w->todo.empty(); });
    if (w->todo.empty()) return;
    format_next(w, lock);
  }
}

// The writer thread. Rather than wait for the next chunk to be formatted by
// another thread, it formats the oldest chunk that none has taken.
void write_chunks(ObjWriter* w, std::streambuf* out) {
  take_cpu(w, 1);
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
    if (!error.empty()) {
      w->failed = true;
      w->error = error;
    }
    w->writing = false;
    clear_chunk(c);
    w->free.push_back(c);
    signal(w, w->freed);
  }
}

// A CPU for each thread of the pool, from the one the sink's thread runs on.
void place_threads(ObjWriter* w, int threads) {
  w->allowed = allowed_cpus();
  const auto here = std::find(w->allowed.begin(), w->allowed.end(), current_cpu());
  if (here == w->allowed.end() || w->allowed.size() < static_cast<std::size_t>(threads)) return;
  const std::size_t first = static_cast<std::size_t>(here - w->allowed.begin());
  for (int i = 0; i < threads; ++i) {
    w->placed.push_back(w->allowed[(first + static_cast<std::size_t>(i)) % w->allowed.size()]);
  }
}

void stop_writer(ObjSink& sink) {
  if (!sink.writer) return;
  ObjWriter& w = *sink.writer;
  {
    std::lock_guard<std::mutex> lock(w.mutex);
    w.stop = true;
    signal(&w, w.work, true);
    signal(&w, w.done, true);
  }
  for (std::thread& t : w.formatters) t.join();
  w.writer.join();
  if (!w.placed.empty()) run_on(w.allowed);
  sink.writer.reset();
}

// Takes in what the writer thread has learnt: a failed write. Called with
// the writer's mutex held.
void take_writer_state(ObjSink& sink) {
  ObjWriter& w = *sink.writer;
  if (w.failed && !sink.failed) {
    sink.failed = true;
    sink.error = w.error;
  }
}

// Each block is a moment to notice an interruption, however large the model.
void notice_interruption(ObjSink& sink) {
  if (interrupted() && !sink.failed) {
    sink.failed = true;
    sink.error = "interrupted";
  }
}

// Without a pool: the block goes to the writer thread, or to the stream.
void drain(ObjSink& sink) {
  notice_interruption(sink);
  if (sink.used == 0) return;
  if (sink.writer) {
    ObjWriter& w = *sink.writer;
    std::unique_lock<std::mutex> lock(w.mutex);
    await(&w, w.freed, lock, [&w] { return !w.free.empty(); });
    ObjChunk* c = w.free.back();
    w.free.pop_back();
    c->text.swap(sink.buffer);
    std::swap(c->capacity, sink.capacity);
    c->used = sink.used;
    c->formatted = true;
    w.order.push_back(c);
    signal(&w, w.done);
    take_writer_state(sink);
    sink.used = 0;
    return;
  }
  if (!sink.failed) {
    sink.error = write_block(sink.out, sink.buffer.get(), sink.used);
    sink.failed = !sink.error.empty();
  }
  sink.written += sink.used;
  sink.used = 0;
}

// With a pool: the chunk being filled goes to the pool and the writer, and a
// free one takes its place. After a failure its runs are dropped.
void hand_on(ObjSink& sink) {
  notice_interruption(sink);
  ObjWriter& w = *sink.writer;
  std::unique_lock<std::mutex> lock(w.mutex);
  ObjChunk* c = w.filling;
  if (c->run_count == 0 || sink.failed) {
    clear_chunk(c);
  } else {
    c->placement = sink.placement;
    w.order.push_back(c);
    w.todo.push_back(c);
    signal(&w, w.work);
    signal(&w, w.done);
    // Rather than wait for a free chunk, this thread formats one too.
    while (w.free.empty()) {
      if (!w.todo.empty()) {
        format_next(&w, lock);
      } else {
        await(&w, w.freed, lock, [&w] { return !w.free.empty(); });
      }
    }
    w.filling = w.free.back();
    w.free.pop_back();
  }
  take_writer_state(sink);
}

// Copies a run into chunks, each cut where its text is expected to reach
// three quarters of a block, so that few outgrow it.
void add_run(ObjSink& sink, RecordKind kind, const unsigned char* records, std::uint32_t count,
             std::uint64_t base) {
  const std::size_t size = record_size(kind);
  const std::size_t each = estimated_text(kind, base);
  const std::size_t target = sink.capacity / 4 * 3;
  while (count > 0 && !sink.failed) {
    ObjChunk& c = *sink.writer->filling;
    std::size_t n = c.estimate < target ? (target - c.estimate + each - 1) / each : 0;
    if (size > 0) n = std::min(n, (c.input_capacity - c.input_used) / size);
    n = std::min<std::size_t>(n, count);
    RecordRun* last = c.run_count > 0 ? &c.runs[c.run_count - 1] : nullptr;
    const bool extends = last && kind != RecordKind::kObject && last->kind == kind &&
                         last->base == base &&
                         last->bytes + last->count * size == c.input.get() + c.input_used;
    if (n == 0 || (!extends && c.run_count == kChunkRuns)) {
      hand_on(sink);
      continue;
    }
    if (!extends) {
      last = &c.runs[c.run_count++];
      *last = RecordRun{kind, 0, base, c.input.get() + c.input_used};
    }
    if (size > 0) std::memcpy(c.input.get() + c.input_used, records, n * size);
    last->count += static_cast<std::uint32_t>(n);
    c.input_used += n * size;
    c.estimate += n * each;
    records += n * size;
    count -= static_cast<std::uint32_t>(n);
  }
}

struct SinkSpace : TextSpace {
  ObjSink* sink = nullptr;
};

void drain_space(TextSpace* space) {
  ObjSink& sink = *static_cast<SinkSpace*>(space)->sink;
  sink.used = static_cast<std::size_t>(space->at - sink.buffer.get());
  drain(sink);
  space->at = sink.buffer.get();
  space->end = space->at + sink.capacity;
}

void put_u32(unsigned char* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}

void put_float(unsigned char* b, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put_u32(b, bits);
}

// One record of three floats, as the model stores it.
void write_vec3(ObjSink& sink, RecordKind kind, float x, float y, float z) {
  unsigned char b[12];
  put_float(b, x);
  put_float(b + 4, y);
  put_float(b + 8, z);
  write_records(sink, kind, b, 1);
}

}  // namespace

ObjSink::ObjSink() = default;
ObjSink::~ObjSink() { stop_writer(*this); }

void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity, int threads) {
  stop_writer(*sink);
  if (capacity < 2 * kMaxRecord) capacity = 2 * kMaxRecord;
  const bool pool = threads > 1;
  sink->out = out;
  // A block lent from an earlier model of the same size is used again; the
  // pool formats into its own.
  if (!pool && (!sink->buffer || sink->capacity != capacity))
    sink->buffer.reset(new char[capacity]);
  sink->capacity = capacity;
  sink->used = 0;
  sink->written = 0;
  sink->failed = false;
  sink->error.clear();
  if (threads < 1) return;
  sink->writer.reset(new ObjWriter);
  ObjWriter& w = *sink->writer;
  w.pool = pool;
  // Without a pool, three blocks in all: the sink's, one being written, one
  // spare. With one, a chunk for each thread, one being filled and one being
  // written.
  const int chunks = pool ? threads + 2 : 2;
  for (int i = 0; i < chunks; ++i) {
    w.chunks.emplace_back(new ObjChunk);
    ObjChunk* c = w.chunks.back().get();
    c->text.reset(new char[capacity]);
    c->capacity = capacity;
    if (pool) {
      // Room for the records of three quarters of a block of text, whatever
      // their kind.
      c->input_capacity = capacity / 4;
      c->input.reset(new unsigned char[c->input_capacity]);
    }
    w.free.push_back(c);
  }
  if (pool) {
    w.filling = w.free.back();
    w.free.pop_back();
    place_threads(&w, threads);
  }
  w.writer = std::thread(write_chunks, &w, out);
  // The writer thread and the sink's own format too: with them, as many
  // threads as `threads` format at once.
  for (int i = 2; pool && i < threads; ++i) w.formatters.emplace_back(format_chunks, &w, i);
  take_cpu(&w, 0);
}

void set_placement(ObjSink& sink, bool y_up, double scale) {
  sink.placement.y_up = y_up;
  sink.placement.scale = scale;
}

void write_records(ObjSink& sink, RecordKind kind, const unsigned char* records,
                   std::uint32_t count, std::uint64_t base) {
  if (count == 0 || sink.failed) return;
  if (sink.writer && sink.writer->pool) return add_run(sink, kind, records, count, base);
  SinkSpace space;
  space.sink = &sink;
  space.at = sink.buffer.get() + sink.used;
  space.end = sink.buffer.get() + sink.capacity;
  space.more = drain_space;
  format_run(RecordRun{kind, count, base, records}, sink.placement, &space);
  sink.used = static_cast<std::size_t>(space.at - sink.buffer.get());
}

void write_object(ObjSink& sink, std::uint64_t number) {
  write_records(sink, RecordKind::kObject, nullptr, 1, number);
}

void write_vertex(ObjSink& sink, float x, float y, float z) {
  write_vec3(sink, RecordKind::kVertex, x, y, z);
}

void write_normal(ObjSink& sink, float x, float y, float z) {
  write_vec3(sink, RecordKind::kNormal, x, y, z);
}

void write_tex_coord(ObjSink& sink, float u, float v) {
  unsigned char b[8];
  put_float(b, u);
  put_float(b + 4, v);
  write_records(sink, RecordKind::kTexCoord, b, 1);
}

void write_face(ObjSink& sink, std::uint64_t base, std::uint16_t a, std::uint16_t b,
                std::uint16_t c) {
  const unsigned char bytes[6] = {
      static_cast<unsigned char>(a), static_cast<unsigned char>(a >> 8),
      static_cast<unsigned char>(b), static_cast<unsigned char>(b >> 8),
      static_cast<unsigned char>(c), static_cast<unsigned char>(c >> 8),
  };
  write_records(sink, RecordKind::kFace, bytes, 1, base);
}

bool flush_obj_sink(ObjSink& sink, std::string* err) {
  if (sink.writer && sink.writer->pool) {
    hand_on(sink);
  } else {
    drain(sink);
  }
  if (sink.writer) {
    // Every chunk written before the stream itself is flushed.
    ObjWriter& w = *sink.writer;
    std::unique_lock<std::mutex> lock(w.mutex);
    await(&w, w.freed, lock, [&w] { return w.order.empty() && !w.writing; });
    take_writer_state(sink);
    sink.written = w.taken;
  }
  if (!sink.failed) {
    errno = 0;
    if (sink.out->pubsync() != 0) {
      sink.failed = true;
      sink.error = errno_text("write failed");
    }
  }
  if (sink.failed) *err = sink.error;
  return !sink.failed;
}

bool close_obj_sink(ObjSink& sink, std::string* err) {
  bool ok = flush_obj_sink(sink, err);
  stop_writer(sink);
  return ok;
}
