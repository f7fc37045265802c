// Runs the chunk walk on arbitrary bytes, and the geoset walk with its
// materials. The first byte picks the window size; the rest is the model.
// What must hold: entries lie in the file in order, every material's layers
// are the model's, and every line the walk writes is a whole record.
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_model.h"
#include "walk_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzModel model;
  open_fuzz_model(data, size, &model);
  ModelSource& src = model.src;
  ModelChunks& chunks = model.chunks;
  std::string err;
  std::uint64_t last_end = 0;
  for (const GeosetEntry& g : chunks.geosets) {
    require(g.begin >= last_end && g.begin < g.end && g.end <= size - 1, "entries overlap");
    last_end = g.end;
    require(material_at(chunks, g.begin) ==
                (g.material_id < chunks.materials.size() ? g.material_id : kNoMaterial),
            "an entry's material is not its own");
  }
  for (const ModelMaterial& m : chunks.materials) {
    require(m.first_layer + std::uint64_t(m.layer_count) <= chunks.layers.size(),
            "a material's layers are not the model's");
  }
  std::stringbuf obj;
  ObjSink sink;
  Settings style;
  style.materials = true;
  attach_obj_sink(&sink, &obj, 600, 0, style);
  std::ostringstream console;
  WalkCounts counts;
  seek_to(src, 0);
  convert_geosets(src, sink, console, &err, &counts, &chunks);
  flush_obj_sink(sink, &err);
  std::string text = obj.str(), plain;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("usemtl ", 0) != 0) plain += line + "\n";
  }
  require(bad_line(plain).empty(), "not a whole record");
  return 0;
}
