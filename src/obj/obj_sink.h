// The OBJ file and its four record writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

constexpr std::size_t kObjBufferSize = std::size_t(1) << 18;

struct ObjWriter;

// The output file. Records are formatted into a block of kObjBufferSize bytes;
// a full block goes to the stream whole. With a writer thread, full blocks
// are handed to it (three blocks in all), so that one block is written while
// the next is formatted; without one, the caller's thread writes them. After
// the first failed write, or an interruption, the sink only counts itself
// failed; the walk looks at `failed` to stop early (with a writer thread it
// learns of a failure at the next block). Records still in the buffer are lost
// unless flush_obj_sink or close_obj_sink runs, since a destructor could not
// report a failed write. Its thread writes to the stream, so a sink is neither
// copied nor moved.
struct ObjSink {
  std::streambuf* out = nullptr;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  std::uint64_t written = 0;  // bytes handed to the stream
  bool failed = false;
  std::string error;
  bool objects = false;  // one "o" record before each geoset
  // Where positions and normals are written: with `y_up` as (x, z, -y) of the
  // model's (x, y, z), so that the model stands in a Y-up reader; positions
  // multiplied by `scale` in double precision and rounded to the nearest
  // float. Set by set_placement.
  bool y_up = false;
  double scale = 1.0;
  bool placed = false;  // either of them: the records take the longer way
  // The text of the face numbers first..first + count - 1 (plus 1), made
  // once per geoset by prepare_corners.
  std::unique_ptr<std::uint64_t[]> corner_text;
  std::unique_ptr<unsigned char[]> corner_digits;
  std::uint64_t corner_first = 0;
  std::uint64_t corner_count = 0;
  // Last, so that the thread ends before the stream it writes to closes.
  std::unique_ptr<ObjWriter> writer;

  ObjSink();
  ~ObjSink();
  ObjSink(const ObjSink&) = delete;
  ObjSink& operator=(const ObjSink&) = delete;
};

// Writes into a stream that the caller owns. With `writer_thread` full blocks
// are written by a thread of the sink's own.
void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity = kObjBufferSize,
                     bool writer_thread = true);

// Sets the up axis (Y when `y_up`, else Z as in the model) and the scale of
// positions.
void set_placement(ObjSink& sink, bool y_up, double scale);

// The records take float coordinates, so that each number's text is bounded
// by the largest float's.
void write_vertex(ObjSink& sink, float x, float y, float z);
void write_normal(ObjSink& sink, float x, float y, float z);
// Writes u and 1 - v: OBJ counts v from the bottom of the image.
void write_tex_coord(ObjSink& sink, float u, float v);
// Begins object `number` (counted from 1): "o geoset_N", so that OBJ readers
// import each geoset as an object of its own.
void write_object(ObjSink& sink, std::uint64_t number);
// Takes 0-based vertex numbers across all geosets and writes them 1-based, as
// position, texture coordinate and normal reference alike.
void write_face(ObjSink& sink, std::uint64_t a, std::uint64_t b, std::uint64_t c);

// Makes the text of the vertex numbers first..first + count - 1 once, for the
// faces of one geoset, whose corners mostly lie among its own vertices.
void prepare_corners(ObjSink& sink, std::uint64_t first, std::uint64_t count);

// Hands the buffer to the stream; false (with the reason) if any write failed.
bool flush_obj_sink(ObjSink& sink, std::string* err);

// Flushes and ends the writer thread; the stream stays the caller's to close.
bool close_obj_sink(ObjSink& sink, std::string* err);
