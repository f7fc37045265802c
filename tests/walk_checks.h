// Runs the geoset walk over bytes in memory, and states what must hold for
// the walk over any bytes at all: the windowed source and the plain one
// agree, and every OBJ line is one whole record of its kind.
#pragma once

#include <cstring>
#include <sstream>
#include <string>

#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "obj/obj_sink.h"
#include "plain_source.h"

struct WalkRun {
  WalkResult result = WalkResult::kDone;
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
  attach_obj_sink(&sink, &obj, sink_capacity);
  WalkCounts counts;
  run.result = walk_geosets(src, sink, console, &run.err, &counts);
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

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One number of a "v", "vn" or "vt" record; the text ends in a NUL.
inline bool number_at(const char*& p) {
  for (const char* form : {"1.#INF00", "-1.#INF00", "-1.#IND00", "1.#QNAN0", "-1.#QNAN0"}) {
    std::size_t n = std::strlen(form);
    if (std::strncmp(p, form, n) == 0) return p += n, true;
  }
  p += *p == '-';
  const char* digits = p;
  while (is_digit(*p)) ++p;
  if (p == digits || (p - digits > 1 && *digits == '0') || *p != '.') return false;
  for (int i = 0; i < 6; ++i) {
    if (!is_digit(*++p)) return false;
  }
  return ++p, true;
}

// One corner "n/n/n" of a face record, the same number three times.
inline bool corner_at(const char*& p) {
  const char* first = p;
  while (is_digit(*p)) ++p;
  std::size_t n = static_cast<std::size_t>(p - first);
  if (n == 0 || *first == '0') return false;
  for (int k = 0; k < 2; ++k) {
    if (*p != '/' || std::strncmp(p + 1, first, n) != 0) return false;
    p += 1 + n;
  }
  return true;
}

// "" when every line is a whole record, else the first line that is not.
inline std::string bad_line(const std::string& obj) {
  for (const char* line = obj.c_str(); *line != '\0';) {
    const char* eol = std::strchr(line, '\n');
    if (eol == nullptr) return line;
    const char* p = line;
    int fields = 0;
    bool (*field)(const char*&) = number_at;
    if (std::strncmp(p, "v ", 2) == 0) fields = 3, p += 1;
    if (std::strncmp(p, "vn ", 3) == 0) fields = 3, p += 2;
    if (std::strncmp(p, "vt ", 3) == 0) fields = 2, p += 2;
    if (std::strncmp(p, "f ", 2) == 0) fields = 3, p += 1, field = corner_at;
    bool whole = fields > 0;
    for (int i = 0; whole && i < fields; ++i) whole = *p == ' ' && field(++p);
    if (!whole || p != eol) return std::string(line, eol);
    line = eol + 1;
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
  if (fast.result != plain.result || fast.err != plain.err) return "the sources ended differently";
  std::string bad = bad_line(fast.obj);
  return bad.empty() ? "" : "not a whole record: " + bad;
}
