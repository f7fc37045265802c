// A model as one GLB file: the chunk walk and the texture lookup make its
// materials and images, a first walk over the geosets counts and bounds them
// for the JSON, and a second streams them into the binary chunk.
#include <ostream>

#include "common/interrupt.h"
#include "common/output_file.h"
#include "convert/convert_steps.h"
#include "gltf/glb_records.h"
#include "gltf/glb_skeleton.h"
#include "gltf/glb_write.h"
#include "mdx/skeleton_walk.h"

namespace {

// Lends a job's window to the model's source however the conversion ends.
struct LentWindow {
  JobBuffers* buffers;
  ModelSource& src;
  LentWindow(JobBuffers* b, ModelSource& s) : buffers(b), src(s) {
    if (buffers) src.window.swap(buffers->window);
  }
  ~LentWindow() {
    if (buffers) src.window.swap(buffers->window);
  }
  LentWindow(const LentWindow&) = delete;
  LentWindow& operator=(const LentWindow&) = delete;
};

// The materials and images a GLB carries, from what the lookup read.
void take_images(const ModelChunks& chunks, std::vector<EmbeddedImage>* images,
                 const MaterialsMade& made, GlbContent* content) {
  content->generator = "mdx2obj " MDX2OBJ_VERSION;
  content->materials = made.plan;
  content->image_of.assign(chunks.textures.size(), -1);
  for (EmbeddedImage& image : *images) {
    content->image_of[image.texture_id] = static_cast<std::int32_t>(content->images.size());
    content->images.push_back({image.name, image.mime, std::move(image.bytes)});
  }
  images->clear();
}

// The first pass: every whole geoset counted and bounded. False where the
// walk stopped inside one (why says where), which the GLB leaves out.
bool scan_model(const Settings& settings, ModelSource* src, const ModelChunks& chunks,
                GlbSkeleton* skeleton, GlbScan* scan, std::string* why) {
  GlbScanSink sink;
  sink.scale = settings.scale;
  sink.skeleton = skeleton;
  std::ostream none(nullptr);
  WalkCounts counts;
  const bool walked = convert_geosets(*src, sink, none, why, &counts, &chunks);
  // The geoset the walk stopped in is none of the GLB's.
  if (walked && !sink.scan.geosets.empty()) end_geoset(&sink);
  if (!walked && !sink.scan.geosets.empty()) sink.scan.geosets.pop_back();
  *scan = std::move(sink.scan);
  // Geosets without groups: nothing the skeleton could move.
  if (!sink.any_groups) *skeleton = GlbSkeleton();
  return walked;
}

WalkCounts counts_of(const GlbScan& scan) {
  WalkCounts counts;
  counts.geosets = scan.geosets.size();
  for (const GlbGeoset& g : scan.geosets) {
    counts.vertices += g.vertices;
    counts.triangles += g.triangles;
  }
  return counts;
}

// The second pass: the header, the geometry streamed, the images. False
// with the reason where a write failed or the model changed meanwhile.
bool write_glb(const Settings& settings, const GlbScan& scan, const GlbContent& content,
               const GlbLayout& layout, ModelSource* src, const ModelChunks& chunks,
               std::streambuf* out, GlbFaults* faults, std::string* why) {
  if (!write_glb_start(out, scan, content, layout, why)) return false;
  GlbDataSink sink;
  sink.out = out;
  sink.skeleton = &content.skeleton;
  // A large model's GLB is written by a thread of its own while the next
  // block is made.
  BlockWriter writer;
  if (settings.writer_thread && source_size(*src) >= kWriterThreadFrom) {
    start_block_writer(&writer, out, kGlbDataBlock);
    sink.writer = &writer;
  }
  sink.scan = &scan;
  sink.scale = settings.scale;
  std::ostream none(nullptr);
  std::string walk_why;
  convert_geosets(*src, sink, none, &walk_why, nullptr, &chunks);
  add_faults(faults, sink.faults);
  if (!close_glb_data(&sink, why)) return false;
  std::uint64_t expected = 0;
  for (const GlbGeoset& g : scan.geosets) {
    expected += has_mesh(g) ? mesh_bytes(g, content.skeleton) : 0;
  }
  if (sink.written != expected) {
    *why = "the model changed while it was read";
    return false;
  }
  return write_glb_skeleton(out, content, why) && write_glb_images(out, content, why);
}

// The model's skeleton, as the GLB's joints and animations, and the warnings
// of what it holds that they cannot; false where the file could not be read.
bool take_skeleton(const Settings& settings, const Conversion& job, ModelSource* src,
                   const ModelChunks& chunks, Converted* done, GlbContent* content,
                   std::vector<std::string>* warnings) {
  ModelSkeleton model;
  std::string why;
  if (!walk_skeleton(*src, chunks, &model, &why)) {
    fail(done, job.model.shown, why);
    return false;
  }
  // A skeleton not read is told; the faults of one read, only where the GLB
  // carries it.
  for (const std::string& w : skeleton_warnings(model.faults)) {
    (model.faults.unfit ? done->materials.warnings : *warnings).push_back(w);
  }
  GlbSkeletonFaults faults;
  const std::string name = std::filesystem::u8path(job.model.shown).stem().u8string();
  content->skeleton = glb_skeleton(model, name, settings.scale, settings.bake, &faults);
  for (const std::string& w : glb_skeleton_warnings(faults)) warnings->push_back(w);
  return true;
}

}  // namespace

Converted convert_to_glb(const Settings& settings, const Conversion& job, std::ostream& out) {
  Converted done;
  ModelSource src;
  ModelChunks chunks;
  LentWindow lent(job.buffers, src);
  if (!open_model(settings, job, &src, &done) || !walk_model_chunks(job, &src, &chunks, &done)) {
    return done;
  }
  MaterialsMade& made = done.materials;
  if (!chunks.unfit.empty()) made.warnings.push_back("materials not read: " + chunks.unfit);
  std::vector<EmbeddedImage> images;
  embed_materials(settings, textures_of(job), chunks, job.model.path, &made, &images);
  GlbContent content;
  std::vector<std::string> skeleton_warnings;
  if (!take_skeleton(settings, job, &src, chunks, &done, &content, &skeleton_warnings)) return done;
  GlbScan scan;
  std::string cut;
  const bool walked =
      scan_model(settings, &src, chunks, &content.skeleton, &scan, &cut) && chunks.cut.empty();
  if (cut.empty()) cut = chunks.cut;
  done.counts = counts_of(scan);
  if (has_skin(content.skeleton)) {
    made.warnings.insert(made.warnings.end(), skeleton_warnings.begin(), skeleton_warnings.end());
  }
  take_images(chunks, &images, made, &content);
  GlbLayout layout;
  std::string why;
  if (interrupted()) return done.stopped = true, done;
  if (!lay_out_glb(scan, content, &layout, &why)) {
    fail(&done, job.model.shown, why);
    return done;
  }
  OutputFile file;
  file.binary = true;
  if (!settings.to_stdout &&
      !open_output(&file, job.obj.path, &src.look, settings.output_dir.has_value(), &why)) {
    fail(&done, job.obj.shown, why).file_system = file.file_system_fault;
    return done;
  }
  std::streambuf* sink = settings.to_stdout ? out.rdbuf() : &file;
  GlbFaults faults = scan.faults;
  const bool written =
      write_glb(settings, scan, content, layout, &src, chunks, sink, &faults, &why);
  for (const std::string& w : glb_warnings(faults)) made.warnings.push_back(w);
  close_model_source(src);
  if (interrupted()) return done.stopped = true, done;
  const std::string shown = settings.to_stdout ? "standard output" : job.obj.shown;
  if (!written || (!settings.to_stdout && !commit_output(&file, &why))) {
    fail(&done, shown, file.error.empty() ? why : file.error).file_system = file.file_system_fault;
    done.output_closed = settings.to_stdout && output_is_pipe();
    return done;
  }
  done.obj_bytes = layout.total;
  int code = 0;
  if (job.look_at_obj) g_file_calls.look(file.name, true, &done.obj, &code);
  return end_conversion(&done, job, settings.to_stdout, walked, cut, shown);
}
