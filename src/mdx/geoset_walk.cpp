#include "mdx/geoset_walk.h"

bool convert_geosets(ModelSource& src, RecordSink& sink, std::ostream& console, std::string* err,
                     WalkCounts* counts, const ModelChunks* chunks) {
  WalkCounts unused;
  return walk_geosets(src, sink, console, err, counts ? counts : &unused, chunks);
}
