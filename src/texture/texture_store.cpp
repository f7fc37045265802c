#include "texture/texture_store.h"

#include <chrono>

#include "common/interrupt.h"

namespace {

// Waits for `ready`, noticing an interruption now and then; the hooks hear
// of a wait that blocks.
template <class Ready>
bool wait_until(TextureStore* store, std::unique_lock<std::mutex>& lock, Ready ready) {
  if (ready()) return true;
  const WaitHooks hooks = store->hooks;
  if (hooks.begin) {
    lock.unlock();
    hooks.begin(hooks.context);
    lock.lock();
  }
  bool stopped = false;
  while (!ready() && !stopped) {
    stopped = interrupted();
    if (!stopped) store->changed.wait_for(lock, std::chrono::milliseconds(50));
  }
  if (hooks.end) {
    lock.unlock();
    hooks.end(hooks.context);
    lock.lock();
  }
  return !stopped;
}

}  // namespace

bool made_before(const MadeImages& made, const ImageKey& image, const FileLook& now,
                 const ImageKey& source, const FileLook& source_now) {
  auto range = made.equal_range(image);
  for (auto at = range.first; at != range.second; ++at) {
    const MadeImage& m = at->second;
    if (m.source == source && m.source_size == source_now.size &&
        m.source_modified == source_now.modified && m.size == now.size) {
      return true;
    }
  }
  return false;
}

void start_texture_store(TextureStore* store, std::size_t jobs) {
  std::lock_guard<std::mutex> lock(store->mutex);
  store->turn = 0;
  store->claimed.assign(jobs, false);
  store->images.clear();
}

bool wait_for_turn(TextureStore* store, std::size_t job) {
  std::unique_lock<std::mutex> lock(store->mutex);
  return wait_until(store, lock, [&] { return store->turn >= job; });
}

void end_turn(TextureStore* store, std::size_t job) {
  std::lock_guard<std::mutex> lock(store->mutex);
  if (job >= store->claimed.size() || store->claimed[job]) return;
  store->claimed[job] = true;
  while (store->turn < store->claimed.size() && store->claimed[store->turn]) ++store->turn;
  store->changed.notify_all();
}

Claim claim_image(TextureStore* store, const ImageKey& key, std::uint64_t device,
                  std::uint64_t inode) {
  std::lock_guard<std::mutex> lock(store->mutex);
  auto found = store->images.find(key);
  if (found == store->images.end()) {
    TextureStore::Entry& entry = store->images[key];
    entry.device = device;
    entry.inode = inode;
    return Claim::kMine;
  }
  return found->second.device == device && found->second.inode == inode ? Claim::kShared
                                                                        : Claim::kTaken;
}

void image_made(TextureStore* store, const ImageKey& key, const TextureResult& result) {
  std::lock_guard<std::mutex> lock(store->mutex);
  TextureStore::Entry& entry = store->images[key];
  entry.result = result;
  entry.result.done = true;
  store->changed.notify_all();
}

bool wait_for_image(TextureStore* store, const ImageKey& key, TextureResult* result) {
  std::unique_lock<std::mutex> lock(store->mutex);
  TextureStore::Entry& entry = store->images[key];
  if (!wait_until(store, lock, [&] { return entry.result.done; })) return false;
  *result = entry.result;
  return true;
}
