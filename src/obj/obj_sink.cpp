#include "obj/obj_sink.h"

#include <cerrno>
#include <cstring>

#include "common/file_identity.h"
#include "common/interrupt.h"
#include "common/little_endian.h"
#include "obj/record_text.h"

namespace {

// Takes in what the pool has learnt: a failed write.
void learn_pool_failure(ObjSink& sink) {
  if (sink.pool && sink.failure.empty()) sink.failure = pool_failure(sink.pool.get());
}

// Each block is a moment to notice an interruption, however large the model.
void notice_interruption(ObjSink& sink) {
  if (!interrupted() || !sink.failure.empty()) return;
  sink.failure = "interrupted";
  if (sink.pool) pool_give_up(sink.pool.get(), sink.failure);
}

// Without formatting threads: the block goes to the writer thread, or to the
// stream.
void drain(ObjSink& sink) {
  notice_interruption(sink);
  if (sink.used == 0) return;
  if (sink.pool) {
    pool_write_block(sink.pool.get(), &sink.buffer, &sink.capacity, sink.used);
    learn_pool_failure(sink);
  } else if (sink.failure.empty()) {
    errno = 0;
    const std::streamsize want = static_cast<std::streamsize>(sink.used);
    if (sink.out->sputn(sink.buffer.get(), want) != want) sink.failure = errno_text("write failed");
  }
  sink.written += sink.used;
  sink.used = 0;
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

// One record of three floats, as the model stores it.
void write_vec3(ObjSink& sink, RecordKind kind, float x, float y, float z) {
  unsigned char b[12];
  put_le_f32(b, x);
  put_le_f32(b + 4, y);
  put_le_f32(b + 8, z);
  write_records(sink, kind, b, 1);
}

}  // namespace

ObjSink::ObjSink() = default;
ObjSink::~ObjSink() = default;

void ObjSink::write_records(RecordKind kind, const unsigned char* records, std::uint32_t count,
                            std::uint64_t base) {
  ::write_records(*this, kind, records, count, base);
}

void ObjSink::begin_object(std::uint64_t number) {
  if (style.objects) write_object(*this, number);
}

void ObjSink::use_material(std::uint64_t number) {
  used_no_material = used_no_material || number == 0;
  if (style.materials) ::write_records(*this, RecordKind::kMaterial, nullptr, 1, number);
}

void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity, int threads,
                     const Settings& style) {
  sink->pool.reset();
  if (capacity < 2 * kMaxRecord) capacity = 2 * kMaxRecord;
  sink->out = out;
  sink->style = style;
  // A block lent from an earlier model of the same size is used again; the
  // formatting threads format into their own.
  if (threads <= 1 && (!sink->buffer || sink->capacity != capacity)) {
    sink->buffer.reset(new char[capacity]);
  }
  sink->capacity = capacity;
  sink->used = 0;
  sink->written = 0;
  sink->failure.clear();
  sink->used_no_material = false;
  if (threads >= 1) sink->pool = start_obj_pool(out, capacity, threads, &sink->style);
}

void write_records(ObjSink& sink, RecordKind kind, const unsigned char* records,
                   std::uint32_t count, std::uint64_t base) {
  if (count == 0 || sink.failed()) return;
  if (sink.pool && pool_formats(*sink.pool)) {
    notice_interruption(sink);
    pool_add_records(sink.pool.get(), kind, records, count, base);
    return learn_pool_failure(sink);
  }
  SinkSpace space;
  space.sink = &sink;
  space.at = sink.buffer.get() + sink.used;
  space.end = sink.buffer.get() + sink.capacity;
  space.more = drain_space;
  format_span(RecordSpan{kind, count, base, records}, sink.style, &space);
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
  put_le_f32(b, u);
  put_le_f32(b + 4, v);
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
  if (!sink.pool || !pool_formats(*sink.pool)) drain(sink);
  notice_interruption(sink);
  if (sink.pool) {
    std::string pool_err;
    if (!pool_drain(sink.pool.get(), &sink.written, &pool_err) && sink.failure.empty()) {
      sink.failure = pool_err;
    }
  }
  if (sink.failure.empty()) {
    errno = 0;
    if (sink.out->pubsync() != 0) sink.failure = errno_text("write failed");
  }
  if (!sink.failure.empty()) *err = sink.failure;
  return sink.failure.empty();
}

bool close_obj_sink(ObjSink& sink, std::string* err) {
  bool ok = flush_obj_sink(sink, err);
  sink.pool.reset();
  return ok;
}
