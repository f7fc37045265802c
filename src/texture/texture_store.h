// The textures of a run: each image is made once, by the first model in the
// run's order that names it, and shared by the models after it; where two
// different files would make one image, the first in the run's order wins,
// whatever the number of jobs. Models claim their images in turn (claiming
// takes a moment; converting them does not wait for the turn).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/failure.h"
#include "common/file_calls.h"

// What became of one image.
struct TextureResult {
  bool done = false;       // converted, or given up
  std::uint64_t size = 0;  // the image's, as it lies once made
  std::string warning;     // why the image was not made: the texture's fault
  Failure failure;         // why it could not be written: the output's fault
};

// An image's name as the file system compares names.
using ImageKey = std::filesystem::path::string_type;

// An image as an earlier run made it, as the ledger of reruns remembers: from
// which source, as that was then, and of what size. An image that is as its
// record says, from a source that is as it was, is not made again; its own
// time says nothing, since two shards of a run may both write it.
struct MadeImage {
  ImageKey source;
  std::uint64_t source_size = 0;
  std::int64_t source_modified = 0;
  std::uint64_t size = 0;
};
using MadeImages = std::unordered_multimap<ImageKey, MadeImage>;

// True where an earlier run of this version made the image `image`, as it is
// now, from the source `source`, as it is now.
bool made_before(const MadeImages& made, const ImageKey& image, const FileLook& now,
                 const ImageKey& source, const FileLook& source_now);

// Told as a job begins and ends a wait for the others (its turn to claim, an
// image another job makes), outside the store's lock: the pool lets another
// model run meanwhile.
struct WaitHooks {
  void (*begin)(void* context) = nullptr;
  void (*end)(void* context) = nullptr;
  void* context = nullptr;
};

struct TextureStore {
  WaitHooks hooks;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t turn = 0;       // the first job that has not claimed yet
  std::vector<bool> claimed;  // by job
  struct Entry {
    std::uint64_t device = 0, inode = 0;  // the file it is made from
    TextureResult result;
  };
  std::map<ImageKey, Entry> images;
};

// A store for `jobs` jobs, numbered from 0.
void start_texture_store(TextureStore* store, std::size_t jobs);

// Waits until every job before `job` has claimed; false where the run was
// interrupted meanwhile.
bool wait_for_turn(TextureStore* store, std::size_t job);
// Job `job` has claimed (or never will): the next may. Called again, nothing.
void end_turn(TextureStore* store, std::size_t job);

enum class Claim { kMine, kShared, kTaken };
// Claims the image `key` made from the file (device, inode), in the job's
// turn: kMine, to be made by this job; kShared, made by an earlier one (its
// result comes by wait_for_image); kTaken, made from another file.
Claim claim_image(TextureStore* store, const ImageKey& key, std::uint64_t device,
                  std::uint64_t inode);
// The image is made or given up: tells the jobs that share it.
void image_made(TextureStore* store, const ImageKey& key, const TextureResult& result);
// What became of an image another job makes; false where the run was
// interrupted meanwhile.
bool wait_for_image(TextureStore* store, const ImageKey& key, TextureResult* result);
