// The OBJ file: the text of the model's records, made on the caller's thread
// or by a pool of threads, and written in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

#include "common/record_sink.h"
#include "obj/obj_pool.h"
#include "obj/obj_style.h"

constexpr std::size_t kObjBufferSize = std::size_t(1) << 18;

// The output file. Without formatting threads, records are formatted into a
// block of `capacity` bytes, and a full block goes to the stream whole:
// written by the pool's writer thread where there is one (one block written
// while the next is formatted), else by the caller's thread. With them, the
// records go to the pool (obj_pool.h).
//
// After the first failed write, or an interruption, the sink takes nothing
// more; a reader learns of it from failed() (with threads, at the next
// block). Records not yet handed on are lost unless flush_obj_sink or
// close_obj_sink runs, since a destructor could not report a failed write.
// Its threads write to the stream, so a sink is neither copied nor moved.
struct ObjSink : RecordSink {
  std::streambuf* out = nullptr;
  std::unique_ptr<char[]> buffer;  // the block being formatted, without formatting threads
  std::size_t capacity = 0;
  std::size_t used = 0;
  std::uint64_t written = 0;      // bytes handed to the stream, once flushed
  std::string failure;            // why it takes no more records; empty while it does
  bool used_no_material = false;  // a geoset's faces were told to use none
  Settings style;
  // Last, so that the threads end before the stream they write to closes.
  ObjPoolPtr pool;

  ObjSink();
  ~ObjSink();
  ObjSink(const ObjSink&) = delete;
  ObjSink& operator=(const ObjSink&) = delete;

  void write_records(RecordKind kind, const unsigned char* records, std::uint32_t count,
                     std::uint64_t base) override;
  // An "o geoset_N" line where the style asks for one.
  void begin_object(std::uint64_t number) override;
  // A "usemtl" line where the style asks for materials.
  void use_material(std::uint64_t number) override;
  bool failed() const override { return !failure.empty(); }
};

// Writes into a stream that the caller owns, in `style`. `threads` is 0 for
// no thread of the sink's own, 1 for a writer thread, and N above 1 for a
// writer thread and N threads in all that format.
void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity = kObjBufferSize,
                     int threads = 1, const Settings& style = Settings());

// `count` records of `kind`, as the model stores them; see RecordSpan.
void write_records(ObjSink& sink, RecordKind kind, const unsigned char* records,
                   std::uint32_t count, std::uint64_t base = 0);
// Begins object `number` (counted from 1): "o geoset_N", whatever the style.
void write_object(ObjSink& sink, std::uint64_t number);

// Single records from their values, as write_records takes them.
void write_vertex(ObjSink& sink, float x, float y, float z);
void write_normal(ObjSink& sink, float x, float y, float z);
void write_tex_coord(ObjSink& sink, float u, float v);
void write_face(ObjSink& sink, std::uint64_t base, std::uint16_t a, std::uint16_t b,
                std::uint16_t c);

// Hands everything to the stream; false (with the reason) if any write failed.
bool flush_obj_sink(ObjSink& sink, std::string* err);

// Flushes and ends the sink's threads; the stream stays the caller's to close.
bool close_obj_sink(ObjSink& sink, std::string* err);
