// The OBJ file: the text of the model's records, made on the caller's thread
// or by a pool of threads, and written in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

#include "obj/record_text.h"

constexpr std::size_t kObjBufferSize = std::size_t(1) << 18;

struct ObjWriter;

// The output file. Without a pool, records are formatted into a block of
// `capacity` bytes, and a full block goes to the stream whole: written by a
// thread of the sink's own where there is one (three blocks in all, one
// written while the next is formatted), else by the caller's thread. With a
// pool, runs of records are copied into chunks of about a block's text,
// formatted by the pool's threads each into its own buffer, and written in
// the order they were made by the writer thread.
//
// After the first failed write, or an interruption, the sink only counts
// itself failed and nothing more is written; the walk looks at `failed` to
// stop early (with threads it learns of a failure at the next block). Records
// not yet handed on are lost unless flush_obj_sink or close_obj_sink runs,
// since a destructor could not report a failed write. Its threads write to
// the stream, so a sink is neither copied nor moved.
struct ObjSink {
  std::streambuf* out = nullptr;
  std::unique_ptr<char[]> buffer;  // the block being formatted, without a pool
  std::size_t capacity = 0;
  std::size_t used = 0;
  std::uint64_t written = 0;  // bytes handed to the stream, once flushed
  bool failed = false;
  std::string error;
  bool objects = false;  // one "o" record before each geoset
  Placement placement;
  // Last, so that the threads end before the stream they write to closes.
  std::unique_ptr<ObjWriter> writer;

  ObjSink();
  ~ObjSink();
  ObjSink(const ObjSink&) = delete;
  ObjSink& operator=(const ObjSink&) = delete;
};

// Writes into a stream that the caller owns. `threads` is 0 for no thread of
// the sink's own, 1 for a writer thread, and N above 1 for a writer thread
// and a pool of N threads that format.
void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity = kObjBufferSize,
                     int threads = 1);

// Sets the up axis (Y when `y_up`, else Z as in the model) and the scale of
// positions.
void set_placement(ObjSink& sink, bool y_up, double scale);

// `count` records of `kind`, as the model stores them; see RecordRun.
void write_records(ObjSink& sink, RecordKind kind, const unsigned char* records,
                   std::uint32_t count, std::uint64_t base = 0);
// Begins object `number` (counted from 1): "o geoset_N".
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
