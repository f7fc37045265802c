// OBJ side of the converter: number text and the four record writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>

// Longest text of one number: sign, 39 integer digits of the largest float,
// point and six decimals, with room to spare.
constexpr std::size_t kMaxNumberText = 64;

// Writes `value` as fixed-point text with six decimals and returns the end.
// The text is the same on every platform and in every locale: 17 significant
// digits, then rounded at the sixth decimal with halves away from zero; both
// zeros print unsigned; non-finite values print as 1.#INF00, -1.#INF00,
// -1.#IND00 (the default NaN), 1.#QNAN0 or -1.#QNAN0.
char* format_fixed6(double value, char* out);

// The exact path alone, without the integer shortcut; kept callable so that
// the shortcut can be checked against it.
char* format_fixed6_exact(double value, char* out);

// Unsigned decimal text of `value`; returns the end.
char* format_unsigned(std::uint64_t value, char* out);

constexpr std::size_t kObjBufferSize = std::size_t(1) << 20;

// The output file. Records are formatted into a large buffer that goes to the
// stream in big blocks. After the first failed write the sink only counts
// itself failed; the walk looks at `failed` to stop early.
struct ObjSink {
  std::filebuf file;
  std::streambuf* out = nullptr;
  std::unique_ptr<char[]> buffer;
  std::size_t capacity = 0;
  std::size_t used = 0;
  bool failed = false;
  std::string error;
};

// Creates or empties the named file in text mode.
bool open_obj_sink(ObjSink* sink, const std::string& name, std::string* err);

// Writes into a stream that the caller owns (tests, benchmarks).
void attach_obj_sink(ObjSink* sink, std::streambuf* out, std::size_t capacity = kObjBufferSize);

void write_vertex(ObjSink& sink, float x, float y, float z);
void write_normal(ObjSink& sink, float x, float y, float z);
// Writes u and 1 - v: OBJ counts v from the bottom of the image.
void write_tex_coord(ObjSink& sink, float u, float v);
// Takes 0-based vertex numbers across all geosets and writes them 1-based, as
// position, texture coordinate and normal reference alike.
void write_face(ObjSink& sink, std::uint64_t a, std::uint64_t b, std::uint64_t c);

// Hands the buffer to the stream; false (with the reason) if any write failed.
bool flush_obj_sink(ObjSink& sink, std::string* err);

// Flushes and, for a sink that opened its own file, closes it. A failure of
// either is reported: a full disk often shows only at the close.
bool close_obj_sink(ObjSink& sink, std::string* err);
