// Runs the geoset walk over bytes in memory and keeps everything it said.
#pragma once

#include <sstream>
#include <string>

#include "mdx/geoset_walk.h"
#include "mdx/mdx.h"
#include "obj/obj.h"
#include "plain_source.h"

struct WalkRun {
  WalkResult result = WalkResult::kDone;
  std::string obj;
  std::string console;
  std::string err;
};

inline void finish_run(WalkRun* run, ObjSink& sink, std::stringbuf& obj,
                       std::ostringstream& console) {
  std::string flush_err;
  flush_obj_sink(sink, &flush_err);
  run->obj = obj.str();
  run->console = console.str();
}

inline WalkRun run_walk(const std::string& bytes, std::size_t window = kWindowSize,
                        std::size_t sink_capacity = kObjBufferSize) {
  WalkRun run;
  std::stringbuf in(bytes), obj;
  std::ostringstream console;
  ModelSource src;
  attach_model_source(&src, &in, window);
  ObjSink sink;
  attach_obj_sink(&sink, &obj, sink_capacity);
  run.result = convert_geosets(src, sink, console, &run.err);
  finish_run(&run, sink, obj, console);
  return run;
}

inline WalkRun run_plain_walk(const std::string& bytes,
                              std::size_t sink_capacity = kObjBufferSize) {
  WalkRun run;
  std::istringstream in(bytes);
  std::stringbuf obj;
  std::ostringstream console;
  PlainSource src = make_plain_source(in);
  ObjSink sink;
  attach_obj_sink(&sink, &obj, sink_capacity);
  run.result = walk_geosets(src, sink, console, &run.err);
  finish_run(&run, sink, obj, console);
  return run;
}
