#include "obj/obj_sink.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <cmath>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "common/file_identity.h"
#include "common/interrupt.h"
#include "obj/number_text.h"

// The writer thread and the blocks that pass between it and the formatting.
struct ObjWriter {
  std::mutex mutex;
  std::condition_variable changed;
  // Guarded by the mutex.
  std::vector<std::unique_ptr<char[]>> free;                         // to be filled
  std::deque<std::pair<std::unique_ptr<char[]>, std::size_t>> full;  // to be written
  bool writing = false;
  bool stop = false;
  bool failed = false;
  std::string error;
  std::thread thread;
};

namespace {

// Blocks in all: the one being formatted, one being written, one spare.
constexpr int kWriterBlocks = 3;

void write_blocks(ObjWriter* w, std::streambuf* out) {
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    w->changed.wait(lock, [w] { return w->stop || !w->full.empty(); });
    if (w->full.empty()) return;
    std::pair<std::unique_ptr<char[]>, std::size_t> block = std::move(w->full.front());
    w->full.pop_front();
    w->writing = true;
    const bool skip = w->failed;  // nothing after a failed write is written
    lock.unlock();
    std::string error;
    if (!skip) {
      errno = 0;
      std::streamsize want = static_cast<std::streamsize>(block.second);
      if (out->sputn(block.first.get(), want) != want) error = errno_text("write failed");
    }
    lock.lock();
    if (!error.empty()) {
      w->failed = true;
      w->error = error;
    }
    w->writing = false;
    w->free.push_back(std::move(block.first));
    w->changed.notify_all();
  }
}

void stop_writer(ObjSink& sink) {
  if (!sink.writer) return;
  {
    std::lock_guard<std::mutex> lock(sink.writer->mutex);
    sink.writer->stop = true;
  }
  sink.writer->changed.notify_all();
  sink.writer->thread.join();
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

// Room for the longest record: a face of three 20-digit numbers written three
// times each, or three numbers of the largest float.
constexpr std::size_t kMaxRecord = 256;

void drain(ObjSink& sink) {
  // Each block is a moment to notice an interruption, however large the model.
  if (interrupted() && !sink.failed) {
    sink.failed = true;
    sink.error = "interrupted";
  }
  if (sink.used == 0) return;
  sink.written += sink.used;
  if (sink.writer) {
    ObjWriter& w = *sink.writer;
    std::unique_lock<std::mutex> lock(w.mutex);
    w.full.emplace_back(std::move(sink.buffer), sink.used);
    w.changed.notify_all();
    w.changed.wait(lock, [&w] { return !w.free.empty(); });
    sink.buffer = std::move(w.free.back());
    w.free.pop_back();
    take_writer_state(sink);
    sink.used = 0;
    return;
  }
  if (!sink.failed) {
    errno = 0;
    std::streamsize want = static_cast<std::streamsize>(sink.used);
    if (sink.out->sputn(sink.buffer.get(), want) != want) {
      sink.failed = true;
      sink.error = errno_text("write failed");
    }
  }
  sink.used = 0;
}

char* reserve(ObjSink& sink) {
  if (sink.capacity - sink.used < kMaxRecord) drain(sink);
  return sink.buffer.get() + sink.used;
}

void commit(ObjSink& sink, const char* end) {
  sink.used = static_cast<std::size_t>(end - sink.buffer.get());
}

char* put_number(char* out, float value) {
  *out++ = ' ';
  return format_float6(value, out);
}

char* put_number(char* out, double value) {
  *out++ = ' ';
  return format_fixed6(value, out);
}

void write_vec3_record(ObjSink& sink, const char* prefix, std::size_t prefix_len, float x, float y,
                       float z) {
  char* p = reserve(sink);
  std::memcpy(p, prefix, prefix_len);
  p = put_number(p + prefix_len, x);
  p = put_number(p, y);
  p = put_number(p, z);
  *p++ = '\n';
  commit(sink, p);
}

}  // namespace

ObjSink::ObjSink() = default;
ObjSink::~ObjSink() { stop_writer(*this); }

void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity, bool writer_thread) {
  stop_writer(*sink);
  if (capacity < 2 * kMaxRecord) capacity = 2 * kMaxRecord;
  sink->out = out;
  // A block lent from an earlier model of the same size is used again.
  if (!sink->buffer || sink->capacity != capacity) sink->buffer.reset(new char[capacity]);
  sink->capacity = capacity;
  sink->used = 0;
  sink->written = 0;
  sink->failed = false;
  sink->error.clear();
  if (!writer_thread) return;
  sink->writer.reset(new ObjWriter);
  for (int i = 1; i < kWriterBlocks; ++i) sink->writer->free.emplace_back(new char[capacity]);
  sink->writer->thread = std::thread(write_blocks, sink->writer.get(), out);
}

namespace {

// -v exactly: its sign bit flipped, so that 0 becomes -0 and a NaN keeps its
// payload.
float negated(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  bits ^= 0x80000000u;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// v times the scale, rounded once to the nearest float. A product past the
// largest float is an infinity, as rounding to nearest makes it (spelt out:
// the conversion of an out-of-range double is no defined operation).
float scaled(float v, double scale) {
  const double product = static_cast<double>(v) * scale;
  constexpr double kPastLargest = 3.4028235677973366e38;  // FLT_MAX and half a step
  if (std::fabs(product) < kPastLargest || product != product) {
    return static_cast<float>(product);
  }
  return std::copysign(std::numeric_limits<float>::infinity(), static_cast<float>(v));
}

}  // namespace

void set_placement(ObjSink& sink, bool y_up, double scale) {
  sink.y_up = y_up;
  sink.scale = scale;
  sink.placed = y_up || scale != 1.0;
}

void write_vertex(ObjSink& sink, float x, float y, float z) {
  if (sink.placed) {
    if (sink.scale != 1.0) {
      x = scaled(x, sink.scale);
      y = scaled(y, sink.scale);
      z = scaled(z, sink.scale);
    }
    if (sink.y_up) return write_vec3_record(sink, "v", 1, x, z, negated(y));
  }
  write_vec3_record(sink, "v", 1, x, y, z);
}

void write_normal(ObjSink& sink, float x, float y, float z) {
  if (sink.y_up) return write_vec3_record(sink, "vn", 2, x, z, negated(y));
  write_vec3_record(sink, "vn", 2, x, y, z);
}

void write_tex_coord(ObjSink& sink, float u, float v) {
  double wide_v = v;
  // A NaN goes through unchanged, as the subtraction itself passes it on;
  // spelled out so that no compiler or CPU can choose another NaN.
  double flipped = wide_v != wide_v ? wide_v : 1.0 - wide_v;
  char* p = reserve(sink);
  *p++ = 'v';
  *p++ = 't';
  p = put_number(p, u);
  p = put_number(p, flipped);
  *p++ = '\n';
  commit(sink, p);
}

void write_object(ObjSink& sink, std::uint64_t number) {
  char* p = reserve(sink);
  std::memcpy(p, "o geoset_", 9);
  p = format_unsigned(number, p + 9);
  *p++ = '\n';
  commit(sink, p);
}

namespace {

// A geoset's indices are 16-bit: its corners lie among 65,536 numbers.
constexpr std::uint64_t kMostCorners = std::uint64_t(1) << 16;

// One corner " n/n/n" of 0-based vertex `number`: from the geoset's table
// where it holds the number, else formatted here.
char* put_corner(const ObjSink& sink, std::uint64_t number, char* out) {
  std::uint64_t at = number - sink.corner_first;
  if (at >= sink.corner_count) return format_corner(number + 1, out);
  std::uint64_t text = sink.corner_text[at];
  std::size_t digits = sink.corner_digits[at];
  *out++ = ' ';
  // Each copy is one 8-byte store and its slash, which the next copy, the
  // next corner or the line end overwrites.
  for (int i = 0; i < 3; ++i) {
    std::memcpy(out, &text, 8);
    out[digits] = '/';
    out += digits + 1;
  }
  return out - 1;
}

}  // namespace

void prepare_corners(ObjSink& sink, std::uint64_t first, std::uint64_t count) {
  sink.corner_count = 0;
  if (count > kMostCorners) count = kMostCorners;
  // Numbers of nine digits and more do not fit the table's 8 bytes.
  if (first + count >= 100000000) return;
  if (!sink.corner_text) {
    sink.corner_text.reset(new std::uint64_t[kMostCorners]);
    sink.corner_digits.reset(new unsigned char[kMostCorners]);
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    int digits;
    sink.corner_text[i] = short_number_text(static_cast<std::uint32_t>(first + i + 1), &digits);
    sink.corner_digits[i] = static_cast<unsigned char>(digits);
  }
  sink.corner_first = first;
  sink.corner_count = count;
}

void write_face(ObjSink& sink, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  char* p = reserve(sink);
  *p++ = 'f';
  p = put_corner(sink, a, p);
  p = put_corner(sink, b, p);
  p = put_corner(sink, c, p);
  *p++ = '\n';
  commit(sink, p);
}

bool flush_obj_sink(ObjSink& sink, std::string* err) {
  drain(sink);
  if (sink.writer) {
    // Every block written before the stream itself is flushed.
    ObjWriter& w = *sink.writer;
    std::unique_lock<std::mutex> lock(w.mutex);
    w.changed.wait(lock, [&w] { return w.full.empty() && !w.writing; });
    take_writer_state(sink);
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
