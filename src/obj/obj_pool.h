// The threads of one OBJ file: a writer thread that writes blocks of text in
// order while the next is formatted and, for a large model, a pool of threads
// that format chunks of records, each into its own buffer. Where there is a
// CPU for each thread, each keeps to its own while the model converts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

#include "common/record_sink.h"
#include "obj/obj_style.h"

struct ObjPool;

// Ends the threads (the calling thread gets its CPUs back) and frees the pool.
struct EndObjPool {
  void operator()(ObjPool* pool) const;
};
using ObjPoolPtr = std::unique_ptr<ObjPool, EndObjPool>;

// Starts the writer thread for `out` and, with `threads` above 1, that many
// threads in all that format (the caller's and the writer among them).
// Blocks hold `capacity` bytes of text; `style` outlives the pool.
ObjPoolPtr start_obj_pool(std::streambuf* out, std::size_t capacity, int threads,
                          const Settings* style);

// True where the pool formats: records go in with pool_add_records.
bool pool_formats(const ObjPool& pool);

// Without formatting threads: hands a block of `used` bytes of text to the
// writer and takes an empty one of the same capacity in its place.
void pool_write_block(ObjPool* pool, std::unique_ptr<char[]>* block, std::size_t* capacity,
                      std::size_t used);

// With formatting threads: copies the records into chunks, handing each on
// where its text is expected to reach three quarters of a block.
void pool_add_records(ObjPool* pool, RecordKind kind, const unsigned char* records,
                      std::uint32_t count, std::uint64_t base);

// Hands on the chunk being filled and waits until every block is written;
// false with the reason of the first failed write. *written: the text bytes
// that reached the writer.
bool pool_drain(ObjPool* pool, std::uint64_t* written, std::string* err);

// The reason of the first failed write, "" while none failed: after it the
// pool writes nothing more and drops what it is handed.
std::string pool_failure(ObjPool* pool);

// Asks the pool to drop what it is handed (an interruption).
void pool_give_up(ObjPool* pool, const std::string& why);
