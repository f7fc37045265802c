// Runs the geoset walk on arbitrary bytes. The first byte picks the window
// size, so that window edges fall everywhere; the rest is the model.
#include <cstdint>
#include <string>

#include "require.h"
#include "walk_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t window = 4 + data[0] % 64;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string problem = check_walk(bytes, window);
  require(problem.empty(), problem);
  return 0;
}
