// Runs the geoset walk on arbitrary bytes. The first byte picks the window
// size, so that window edges fall everywhere; the rest is the model.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "walk_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t window = 4 + data[0] % 64;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string problem = check_walk(bytes, window);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
