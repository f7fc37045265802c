// Runs the geoset walk over bytes in memory, and states what must hold for
// the walk over any bytes at all: the windowed source and a plain one agree,
// and every OBJ line is one whole record of its kind.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"

// The model read the plain way, the yardstick for the windowed ModelSource:
// every tag test compares the 4 bytes at one offset, every value is read
// where it lies.
struct PlainSource {
  const std::string* bytes;
  std::uint64_t pos = 0;
};

inline std::uint64_t source_size(const PlainSource& src) { return src.bytes->size(); }
inline std::uint64_t tell(const PlainSource& src) { return src.pos; }
inline void seek_to(PlainSource& src, std::uint64_t offset) { src.pos = offset; }
inline void skip_bytes(PlainSource& src, std::uint64_t n) { src.pos += n; }
inline bool io_failed(const PlainSource&) { return false; }
inline const unsigned char* view_bytes(PlainSource&, std::size_t) { return nullptr; }

inline bool read_bytes(PlainSource& src, void* dst, std::size_t n) {
  if (src.pos + n > src.bytes->size()) return false;
  std::memcpy(dst, src.bytes->data() + src.pos, n);
  src.pos += n;
  return true;
}

inline bool find_tag(PlainSource& src, Tag tag, std::uint64_t from, std::uint64_t* at) {
  for (std::uint64_t offset = from; offset + 4 <= src.bytes->size(); ++offset) {
    if (std::memcmp(src.bytes->data() + offset, tag.bytes, 4) == 0) {
      *at = offset;
      src.pos = offset + 4;
      return true;
    }
  }
  return false;
}

struct WalkRun {
  bool whole = true;  // the walk ran to its end
  std::string obj;
  std::string console;
  std::string err;
};

template <class Source>
WalkRun walk_source(Source& src, std::size_t sink_capacity) {
  WalkRun run;
  std::stringbuf obj;
  std::ostringstream console;
  ObjSink sink;
  // The walk alone: the writer thread is the sink's tests' to check.
  attach_obj_sink(&sink, &obj, sink_capacity, 0);
  WalkCounts counts;
  run.whole = walk_geosets(src, sink, console, &run.err, &counts);
  std::string flush_err;
  flush_obj_sink(sink, &flush_err);
  run.obj = obj.str();
  run.console = console.str();
  return run;
}

inline WalkRun run_walk(const std::string& bytes, std::size_t window = kWindowSize,
                        std::size_t sink_capacity = kObjBufferSize) {
  std::stringbuf in(bytes);
  ModelSource src;
  attach_model_source(&src, &in, window);
  return walk_source(src, sink_capacity);
}

// One number of a "v", "vn" or "vt" record: six decimals, or a non-finite form.
inline bool is_number(std::string f) {
  if (f == "-1.#IND00") return true;
  if (f[0] == '-') f.erase(0, 1);
  if (f == "1.#INF00" || f == "1.#QNAN0") return true;
  std::size_t dot = f.find('.');
  return dot != std::string::npos && dot > 0 && f.size() == dot + 7 && (dot == 1 || f[0] != '0') &&
         f.find_first_not_of("0123456789") == dot &&
         f.find_first_not_of("0123456789", dot + 1) == std::string::npos;
}

// One corner "n/n/n" of a face record, the same number three times.
inline bool is_corner(const std::string& f) {
  std::size_t n = f.find('/');
  std::string number = f.substr(0, n);
  return n != std::string::npos && n > 0 && f[0] != '0' &&
         number.find_first_not_of("0123456789") == std::string::npos &&
         f == number + "/" + number + "/" + number;
}

// "" when every line is a whole record, else the first line that is not.
inline std::string bad_line(const std::string& obj) {
  for (std::size_t at = 0, end; at < obj.size(); at = end + 1) {
    end = obj.find('\n', at);
    const std::string line = obj.substr(at, end - at);
    const std::string kind = line.substr(0, line.find(' '));
    int fields = 0, want = kind == "vt" ? 2 : kind == "v" || kind == "vn" || kind == "f" ? 3 : 0;
    bool whole = want > 0 && end != std::string::npos;
    for (std::size_t p = kind.size(); whole && p < line.size(); ++fields) {
      std::size_t next = std::min(line.find(' ', p + 1), line.size());
      std::string field = line.substr(p + 1, next - p - 1);
      whole = kind == "f" ? is_corner(field) : is_number(field);
      p = next;
    }
    if (!whole || fields != want) return line;
  }
  return "";
}

// Runs both sources over the bytes; "" when all holds, else what did not.
inline std::string check_walk(const std::string& bytes, std::size_t window) {
  PlainSource src{&bytes};
  WalkRun plain = walk_source(src, 600);
  WalkRun fast = run_walk(bytes, window, 600);
  if (fast.obj != plain.obj) return "windowed and plain sources wrote different records";
  if (fast.console != plain.console) return "windowed and plain sources printed different lines";
  if (fast.whole != plain.whole || fast.err != plain.err) return "the sources ended differently";
  std::string bad = bad_line(fast.obj);
  return bad.empty() ? "" : "not a whole record: " + bad;
}
