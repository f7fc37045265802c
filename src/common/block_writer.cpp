#include "common/block_writer.h"

namespace {

void write_blocks(BlockWriter* w) {
  std::unique_lock<std::mutex> lock(w->mutex);
  for (;;) {
    w->changed.wait(lock, [w] { return w->full || w->closing; });
    if (!w->full) return;
    lock.unlock();
    const std::streamsize size = static_cast<std::streamsize>(w->size);
    const bool ok = w->out->sputn(reinterpret_cast<const char*>(w->block.get()), size) == size;
    lock.lock();
    if (!ok && w->failure.empty()) w->failure = "write failed";
    w->full = false;
    w->changed.notify_all();
  }
}

}  // namespace

void start_block_writer(BlockWriter* w, std::streambuf* out, std::size_t capacity) {
  w->out = out;
  w->block.reset(new unsigned char[capacity]);
  w->thread = std::thread(write_blocks, w);
}

bool write_block(BlockWriter* w, std::unique_ptr<unsigned char[]>* block, std::size_t used) {
  std::unique_lock<std::mutex> lock(w->mutex);
  w->changed.wait(lock, [w] { return !w->full; });
  if (!w->failure.empty()) return false;
  w->block.swap(*block);
  w->size = used;
  w->full = true;
  w->changed.notify_all();
  return true;
}

BlockWriter::~BlockWriter() {
  std::string ignored;
  stop_block_writer(this, &ignored);
}

bool stop_block_writer(BlockWriter* w, std::string* err) {
  if (!w->thread.joinable()) return true;
  {
    std::lock_guard<std::mutex> lock(w->mutex);
    w->closing = true;
    w->changed.notify_all();
  }
  w->thread.join();
  if (!w->failure.empty()) *err = w->failure;
  return w->failure.empty();
}
