// The OBJ file and its four record writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>

constexpr std::size_t kObjBufferSize = std::size_t(1) << 20;

// The output file. Records are formatted into a large buffer that goes to the
// stream in big blocks. After the first failed write the sink only counts
// itself failed; the walk looks at `failed` to stop early. Records still in
// the buffer are lost unless flush_obj_sink or close_obj_sink runs, since a
// destructor could not report a failed write. `out` may point at `file`, so a
// sink is neither copied nor moved.
struct ObjSink {
  std::filebuf file;
  std::streambuf* out = nullptr;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  std::uint64_t written = 0;  // bytes handed to the stream
  bool failed = false;
  std::string error;
  bool objects = false;  // one "o" record before each geoset

  ObjSink() = default;
  ObjSink(const ObjSink&) = delete;
  ObjSink& operator=(const ObjSink&) = delete;
};

// Creates or empties the named file in text mode.
bool open_obj_sink(ObjSink* sink, const std::filesystem::path& name, std::string* err);

// Writes into a stream that the caller owns (tests, benchmarks).
void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity = kObjBufferSize);

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

// Hands the buffer to the stream; false (with the reason) if any write failed.
bool flush_obj_sink(ObjSink& sink, std::string* err);

// Flushes and, for a sink that opened its own file, closes it. A failure of
// either is reported: a full disk often shows only at the close.
bool close_obj_sink(ObjSink& sink, std::string* err);
