// A thread that writes blocks of bytes to a stream in order while the caller
// fills the next, so that making a file and writing it share two CPUs.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

struct BlockWriter {
  std::streambuf* out = nullptr;
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::unique_ptr<unsigned char[]> block;  // handed on, waiting to be written or being written
  std::size_t size = 0;
  bool full = false;     // `block` holds bytes not written yet
  bool closing = false;  // no more blocks come
  std::string failure;   // the first failed write's reason: nothing is written after it

  BlockWriter() = default;
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;
  ~BlockWriter();  // stops the thread where stop_block_writer was not called
};

// Starts the writer's thread for `out`, blocks of `capacity` bytes.
void start_block_writer(BlockWriter* w, std::streambuf* out, std::size_t capacity);
// Hands on the first `used` bytes of *block and puts an empty block of the
// same capacity in its place; false once a write has failed.
bool write_block(BlockWriter* w, std::unique_ptr<unsigned char[]>* block, std::size_t used);
// Waits until every block is written and ends the thread; false with the
// reason where a write failed.
bool stop_block_writer(BlockWriter* w, std::string* err);
