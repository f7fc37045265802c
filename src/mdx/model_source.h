// The model file and the tag search over it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <string>
#include <vector>

#include "common/file_calls.h"
#include "common/types.h"

constexpr std::size_t kWindowSize = std::size_t(256) << 10;

// The model file, seen through a fixed window of its bytes. Seeks only move
// `pos`; the file is read when a read or a tag test leaves the window, so that
// the byte-by-byte search costs no call into the kernel per offset. `in` may
// point at `file`, so a source is neither copied nor moved.
struct ModelSource {
  std::filebuf file;
  std::streambuf* in = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
  std::uint64_t window_start = 0;
  std::size_t window_len = 0;
  std::vector<char> window;
  // Where set, a fill reads at most this many bytes: a walk that hops from
  // header to header reads the headers, not a window behind each.
  std::size_t read_ahead = 0;
  bool read_failed = false;
  FileLook look;  // the model file as its name was looked at, once opened by name
  // When set, the furthest offset read so far, for a status line that another
  // thread draws.
  std::atomic<std::uint64_t>* reached = nullptr;

  ModelSource() = default;
  ModelSource(const ModelSource&) = delete;
  ModelSource& operator=(const ModelSource&) = delete;
};

// What a look at a model's name found: the file, or the errno value of a look
// that failed.
struct ModelLook {
  FileLook file;
  int error = 0;
};

// Opens a regular file for reading in binary mode; false, with the reason, if
// that is not possible (no such file, a folder, no permission). `seen`: what
// the caller's look at the name found, so that it is not looked at again;
// without it, the name is looked at here.
bool open_model_source(ModelSource* src, const std::filesystem::path& name, const ModelLook* seen,
                       std::string* err);

// Reads a stream that the caller owns (tests, fuzzing), into a source that
// has read nothing yet; `window_size` is at least 4.
void attach_model_source(ModelSource* src, std::streambuf* in,
                         std::size_t window_size = kWindowSize);

void close_model_source(ModelSource& src);

inline std::uint64_t source_size(const ModelSource& src) { return src.size; }
inline std::uint64_t tell(const ModelSource& src) { return src.pos; }
inline void seek_to(ModelSource& src, std::uint64_t offset) { src.pos = offset; }
inline void skip_bytes(ModelSource& src, std::uint64_t n) { src.pos += n; }
inline bool io_failed(const ModelSource& src) { return src.read_failed; }

// Reads n bytes at the current offset and moves past them; false, with the
// offset unchanged, when the file does not hold all n.
bool read_bytes(ModelSource& src, void* dst, std::size_t n);

// The next n bytes where the window holds them all, moving past them; null,
// with the offset unchanged, where it does not (read_bytes reads them then).
// Saves a copy of every record that the walk reads.
inline const unsigned char* view_bytes(ModelSource& src, std::size_t n) {
  if (src.pos < src.window_start || src.pos - src.window_start + n > src.window_len) return nullptr;
  const char* at = src.window.data() + (src.pos - src.window_start);
  src.pos += n;
  return reinterpret_cast<const unsigned char*>(at);
}

// Finds the first offset at or after `from` whose 4 bytes are `tag`, testing
// every offset up to the last one that still has 4 bytes. On a match stores it
// in *at, leaves the source just past the tag and returns true.
bool find_tag(ModelSource& src, Tag tag, std::uint64_t from, std::uint64_t* at);
