#include "obj/obj_sink.h"

#include <cerrno>
#include <cstring>

#include "common/file_identity.h"
#include "obj/number_text.h"

namespace {

// Room for the longest record: a face of three 20-digit numbers written three
// times each, or three numbers of the largest float.
constexpr std::size_t kMaxRecord = 256;

void drain(ObjSink& sink) {
  if (sink.used == 0) return;
  if (!sink.failed) {
    errno = 0;
    std::streamsize want = static_cast<std::streamsize>(sink.used);
    if (sink.out->sputn(sink.buffer.get(), want) != want) {
      sink.failed = true;
      sink.error = errno_text("write failed");
    }
    sink.written += sink.used;
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

bool open_obj_sink(ObjSink* sink, const std::filesystem::path& name, std::string* err) {
  errno = 0;
  if (holds_nul(name)) {
    *err = "cannot create: the name holds a NUL character";
    return false;
  }
  if (!sink->file.open(name, std::ios::out | std::ios::trunc)) {
    *err = errno_text("cannot create");
    return false;
  }
  attach_obj_sink(sink, &sink->file);
  return true;
}

void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity) {
  if (capacity < 2 * kMaxRecord) capacity = 2 * kMaxRecord;
  sink->out = out;
  sink->buffer.reset(new char[capacity]);
  sink->capacity = capacity;
  sink->used = 0;
  sink->written = 0;
  sink->failed = false;
  sink->error.clear();
}

void write_vertex(ObjSink& sink, float x, float y, float z) {
  write_vec3_record(sink, "v", 1, x, y, z);
}

void write_normal(ObjSink& sink, float x, float y, float z) {
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

void write_face(ObjSink& sink, std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  char* p = reserve(sink);
  *p++ = 'f';
  p = format_corner(a + 1, p);
  p = format_corner(b + 1, p);
  p = format_corner(c + 1, p);
  *p++ = '\n';
  commit(sink, p);
}

bool flush_obj_sink(ObjSink& sink, std::string* err) {
  drain(sink);
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
  if (sink.file.is_open()) {
    errno = 0;
    if (!sink.file.close() && ok) {
      sink.failed = true;
      sink.error = errno_text("close failed");
      *err = sink.error;
      ok = false;
    }
  }
  return ok;
}
