#include "mdx/geoset_walk.h"

WalkResult convert_geosets(ModelSource& src, ObjSink& sink, std::ostream& console,
                           std::string* err) {
  return walk_geosets(src, sink, console, err);
}
