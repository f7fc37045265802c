// A fuzz input as a model: the first byte picks the reader's window size, the
// rest is the file, read from memory and walked for its chunks, which must
// not fail on bytes in memory.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "mdx/chunk_walk.h"
#include "require.h"

struct FuzzModel {
  std::stringbuf bytes;
  ModelSource src;
  ModelChunks chunks;
};

// `model` is filled in place: its source reads its own bytes.
inline void open_fuzz_model(const std::uint8_t* data, std::size_t size, FuzzModel* model) {
  model->bytes.str(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  attach_model_source(&model->src, &model->bytes, 4 + data[0] % 64);
  std::string err;
  require(walk_chunks(model->src, &model->chunks, &err),
          "the chunk walk failed on bytes in memory");
}
