#include "mdx/geoset_walk.h"

WalkResult convert_geosets(ModelSource& src, ObjSink& sink, std::ostream& console, std::string* err,
                           WalkCounts* counts) {
  WalkCounts unused;
  return walk_geosets(src, sink, console, err, counts ? counts : &unused);
}
