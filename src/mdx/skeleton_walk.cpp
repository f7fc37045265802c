#include "mdx/skeleton_walk.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/little_endian.h"
#include "common/model_float.h"
#include "mdx/model_span.h"

namespace {

// Far more than any model holds: what is kept stays bounded whatever a file
// claims (a key takes 52 bytes).
constexpr std::size_t kMostNodes = std::size_t(1) << 16;
constexpr std::size_t kMostKeys = std::size_t(1) << 20;
constexpr std::uint64_t kNodeHeader = 4 + 80 + 12;
constexpr std::uint64_t kSequenceEntry = 132;

bool read_floats(Span& r, float* v, int n) {
  unsigned char b[16];
  if (!read_span(r, b, 4 * static_cast<std::uint64_t>(n))) return false;
  for (int i = 0; i < n; ++i) v[i] = f32_at(b + 4 * i);
  return true;
}

int path_of(const char* tag) {
  if (std::memcmp(tag, "KGTR", 4) == 0) return kTranslation;
  if (std::memcmp(tag, "KGRT", 4) == 0) return kRotation;
  if (std::memcmp(tag, "KGSC", 4) == 0) return kScale;
  return -1;
}

// One track's keys as the file has them; false where they do not fit, or
// would pass the keys a model keeps (`kept` so far).
bool read_keys(Span& r, std::uint32_t count, Interpolation how, int width, NodeTrack* track,
               std::size_t* kept) {
  const bool cubic = how == Interpolation::kHermite || how == Interpolation::kBezier;
  const std::uint64_t key_size = 4 + 4 * std::uint64_t(width) * (cubic ? 3 : 1);
  if ((r.end - r.at) / key_size < count || *kept + count > kMostKeys) return false;
  *kept += count;
  track->keys.resize(count);
  for (TrackKey& k : track->keys) {
    std::uint32_t time;
    if (!read_u32(r, &time) || !read_floats(r, k.value, width) ||
        (cubic && (!read_floats(r, k.in, width) || !read_floats(r, k.out, width)))) {
      return false;
    }
    k.time = static_cast<std::int32_t>(time);
  }
  return true;
}

// The node's tracks up to its end; false where one does not fit. An unknown
// interpolation ends them, those before it kept.
bool read_tracks(Span& r, SkeletonNode* node, SkeletonFaults* faults, std::size_t* kept) {
  while (r.at < r.end) {
    char tag[4];
    if (!read_span(r, tag, 4)) return false;
    const int path = path_of(tag);
    std::uint32_t count, how, global;
    if (path < 0 || path >= kPaths || !read_u32(r, &count) || !read_u32(r, &how) ||
        !read_u32(r, &global)) {
      return false;
    }
    if (how > 3) {
      faults->bad_interpolation = true;
      return true;
    }
    NodeTrack& track = node->tracks[path];
    track.interpolation = static_cast<Interpolation>(how);
    track.global_sequence = static_cast<std::int32_t>(global);
    if (!read_keys(r, count, track.interpolation, track_width(path), &track, kept)) return false;
  }
  return true;
}

// A node at the span's place: its inclusive size, name, ids, flags and
// tracks; the span left at its end.
bool read_node(Span& r, ModelSkeleton* skeleton, std::size_t* kept) {
  Span node{r.file, 0, 0};
  unsigned char header[kNodeHeader - 4];
  if (skeleton->nodes.size() >= kMostNodes || !entry_span(r, kNodeHeader, &node) ||
      !read_span(node, header, sizeof header)) {
    return false;
  }
  SkeletonNode n;
  n.name = fixed_name(header, 80);
  n.object_id = le_u32(header + 80);
  n.parent_id = le_u32(header + 84);
  if (!read_tracks(node, &n, &skeleton->faults, kept)) return false;
  skeleton->nodes.push_back(std::move(n));
  return true;
}

// BONE: a node, a geoset id and a geoset animation id. HELP: a node. ATCH:
// an inclusive size, a node, a path, an attachment id, and a visibility
// track that a GLB does not carry.
bool read_nodes(Span& r, const char* tag, ModelSkeleton* skeleton, std::size_t* kept) {
  const bool attachment = std::memcmp(tag, "ATCH", 4) == 0;
  const bool bone = std::memcmp(tag, "BONE", 4) == 0;
  while (r.at < r.end) {
    // An attachment's node lies in an entry of its own; the others' in the
    // chunk, a bone's with 8 bytes after it.
    Span entry = r;
    if (attachment && !entry_span(r, 4 + kNodeHeader + 264, &entry)) return false;
    if (!read_node(entry, skeleton, kept) || (bone && !skip(entry, 8))) return false;
    if (!attachment) r.at = entry.at;
  }
  return true;
}

bool read_sequences(Span& r, ModelSkeleton* skeleton) {
  if ((r.end - r.at) % kSequenceEntry != 0) return false;
  while (r.at < r.end && skeleton->sequences.size() < kMostNodes) {
    unsigned char b[kSequenceEntry];
    if (!read_span(r, b, sizeof b)) return false;
    ModelSequence s;
    s.name = fixed_name(b, 80);
    s.start = le_u32(b + 80);
    s.end = le_u32(b + 84);
    s.move_speed = f32_at(b + 88);
    s.looping = le_u32(b + 92) == 0;
    s.rarity = f32_at(b + 96);
    skeleton->sequences.push_back(s);
  }
  return true;
}

bool read_chunk(const ChunkSpan& chunk, Span r, ModelSkeleton* skeleton, std::size_t* kept) {
  const char* tag = chunk.tag;
  if (std::memcmp(tag, "SEQS", 4) == 0) return read_sequences(r, skeleton);
  if (std::memcmp(tag, "PIVT", 4) == 0) {
    float p[3];
    while (r.end - r.at >= 12 && skeleton->pivots.size() < kMostNodes) {
      if (!read_floats(r, p, 3)) return false;
      skeleton->pivots.push_back({p[0], p[1], p[2]});
    }
    return true;
  }
  if (std::memcmp(tag, "GLBS", 4) == 0) {
    std::uint32_t duration;
    while (r.end - r.at >= 4 && skeleton->global_sequences.size() < kMostNodes) {
      if (!read_u32(r, &duration)) return false;
      skeleton->global_sequences.push_back(duration);
    }
    return true;
  }
  return read_nodes(r, tag, skeleton, kept);
}

bool finite_key(const TrackKey& k, int width, bool cubic) {
  for (int i = 0; i < width; ++i) {
    if (!std::isfinite(k.value[i])) return false;
    if (cubic && (!std::isfinite(k.in[i]) || !std::isfinite(k.out[i]))) return false;
  }
  return true;
}

// A rotation key of unit length, its tangents divided alike; false for one
// of no direction.
bool unit_rotation(TrackKey* k) {
  double square = 0;
  for (float v : k->value) square += double(v) * v;
  const double length = std::sqrt(square);
  if (!(length > 0) || !std::isfinite(length)) return false;
  for (int i = 0; i < 4; ++i) {
    k->value[i] = static_cast<float>(k->value[i] / length);
    k->in[i] = static_cast<float>(k->in[i] / length);
    k->out[i] = static_cast<float>(k->out[i] / length);
  }
  return true;
}

void negate(TrackKey* k) {
  for (int i = 0; i < 4; ++i)
    k->value[i] = -k->value[i], k->in[i] = -k->in[i], k->out[i] = -k->out[i];
}

// Keys dropped where the rules cannot take them, sorted by time with the
// last of equal times kept, and rotations each on the side of the one before.
void clean_track(NodeTrack* t, int path, SkeletonFaults* faults) {
  const int width = track_width(path);
  const bool cubic = t->interpolation >= Interpolation::kHermite;
  std::vector<TrackKey>& keys = t->keys;
  const std::size_t read = keys.size();
  keys.erase(std::remove_if(keys.begin(), keys.end(),
                            [&](TrackKey& k) {
                              return !finite_key(k, width, cubic) ||
                                     (path == kRotation && !unit_rotation(&k));
                            }),
             keys.end());
  if (keys.size() != read) faults->bad_keys = true;
  auto earlier = [](const TrackKey& a, const TrackKey& b) { return a.time < b.time; };
  if (std::adjacent_find(keys.begin(), keys.end(), [](const TrackKey& a, const TrackKey& b) {
        return a.time >= b.time;
      }) != keys.end()) {
    faults->keys_out_of_order = true;
    std::stable_sort(keys.begin(), keys.end(), earlier);
    std::vector<TrackKey> kept;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (i + 1 == keys.size() || keys[i + 1].time != keys[i].time) kept.push_back(keys[i]);
    }
    keys.swap(kept);
  }
  for (std::size_t i = 1; path == kRotation && i < keys.size(); ++i) {
    double dot = 0;
    for (int c = 0; c < 4; ++c) dot += double(keys[i].value[c]) * keys[i - 1].value[c];
    if (dot < 0) negate(&keys[i]);
  }
}

// Each track cleaned; one of a global sequence the model lacks dropped.
void clean_tracks(ModelSkeleton* skeleton) {
  for (SkeletonNode& node : skeleton->nodes) {
    for (int path = 0; path < kPaths; ++path) {
      NodeTrack& t = node.tracks[path];
      if (t.global_sequence != -1 &&
          (t.global_sequence < 0 ||
           std::size_t(t.global_sequence) >= skeleton->global_sequences.size())) {
        if (!t.keys.empty()) skeleton->faults.no_global_sequence = true;
        t = NodeTrack();
      }
      clean_track(&t, path, &skeleton->faults);
    }
  }
}

void unfit(ModelSkeleton* skeleton, const std::string& why) {
  SkeletonFaults faults = skeleton->faults;
  *skeleton = ModelSkeleton();
  skeleton->faults = faults;
  skeleton->faults.unfit = true;
  skeleton->faults.unfit_why = why;
}

}  // namespace

bool walk_skeleton(ModelSource& src, const ModelChunks& chunks, ModelSkeleton* skeleton,
                   std::string* err) {
  *skeleton = ModelSkeleton();
  if (chunks.nodes.empty()) return true;
  if (chunks.version != kClassicVersion) {
    unfit(skeleton, "version " + std::to_string(chunks.version) + " is not 800");
    return true;
  }
  std::size_t keys = 0;
  for (const ChunkSpan& chunk : chunks.nodes) {
    if (read_chunk(chunk, Span{&src, chunk.begin, chunk.end}, skeleton, &keys)) continue;
    if (io_failed(src)) {
      *err = "read failed near offset " + std::to_string(tell(src));
      return false;
    }
    unfit(skeleton, "the " + std::string(chunk.tag, 4) + " chunk at offset " +
                        std::to_string(chunk.begin - 8) +
                        " does not fit the layout of version 800");
    return true;
  }
  clean_tracks(skeleton);
  return true;
}

std::vector<std::string> skeleton_warnings(const SkeletonFaults& faults) {
  std::vector<std::string> out;
  if (faults.unfit) out.push_back("skeleton not read: " + faults.unfit_why);
  if (faults.bad_interpolation) {
    out.push_back("a track of an unknown interpolation dropped, with its node's tracks after it");
  }
  if (faults.no_global_sequence) out.push_back("tracks of a global sequence not in GLBS dropped");
  if (faults.bad_keys) out.push_back("keys not finite, or rotations of no length, dropped");
  if (faults.keys_out_of_order) {
    out.push_back("keys out of order sorted, the last of equal times kept");
  }
  return out;
}
