// Compares the fast number text with the exact path for float bit patterns:
// each float as itself (the float path and the path over doubles) and as the
// flipped texture coordinate 1 - v. With no range it checks all 2^32.
//
//   mdx_check_numbers [FIRST END]     (bit patterns FIRST <= bits < END, 0x... allowed)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "obj/number_text.h"

namespace {

std::string text(char* (*format)(double, char*), double value) {
  char buf[kMaxNumberText];
  return std::string(buf, format(value, buf));
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t first = argc > 2 ? std::strtoull(argv[1], nullptr, 0) : 0;
  std::uint64_t end = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : std::uint64_t(1) << 32;
  auto start = std::chrono::steady_clock::now();
  std::uint64_t differences = 0;
  for (std::uint64_t bits = first; bits < end; ++bits) {
    std::uint32_t pattern = static_cast<std::uint32_t>(bits);
    float f;
    std::memcpy(&f, &pattern, sizeof f);
    char buf[kMaxNumberText];
    std::string exact = text(format_fixed6_exact, f);
    std::string flipped_exact = text(format_fixed6_exact, 1.0 - f);
    const struct {
      const char* what;
      std::string fast, exact;
    } checks[] = {
        {"float", std::string(buf, format_float6(f, buf)), exact},
        {"double", text(format_fixed6, f), exact},
        {"1 - v", text(format_fixed6, 1.0 - f), flipped_exact},
    };
    for (const auto& c : checks) {
      if (c.fast == c.exact) continue;
      if (++differences <= 20) {
        std::printf("0x%08x %s: fast %s, exact %s\n", pattern, c.what, c.fast.c_str(),
                    c.exact.c_str());
      }
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("bit patterns 0x%llx to 0x%llx: %llu differences in %.0f s\n",
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(end),
              static_cast<unsigned long long>(differences), seconds);
  return differences == 0 ? 0 : 1;
}
