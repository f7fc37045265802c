#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "obj/obj.h"

namespace {

std::string text(double value) {
  char buf[kMaxNumberText];
  return std::string(buf, format_fixed6(value, buf));
}

std::string exact_text(double value) {
  char buf[kMaxNumberText];
  return std::string(buf, format_fixed6_exact(value, buf));
}

float float_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

double double_bits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

struct Case {
  double value;
  const char* text;
};

TEST(NumberText, WidenedFloatsPrintByTheRules) {
  const Case cases[] = {
      {0.0f, "0.000000"},
      {-0.0f, "0.000000"},
      {1.0f, "1.000000"},
      {-2.25f, "-2.250000"},
      {0.1f, "0.100000"},
      // Odd multiples of 1/128 and 1/256 end in an exact half or quarter.
      {0.0078125f, "0.007813"},
      {-0.0078125f, "-0.007813"},
      {0.0234375f, "0.023438"},
      {0.00390625f, "0.003906"},
      {0.01953125f, "0.019531"},
      {123456.789f, "123456.789063"},  // 123456.7890625
      {-123456.789f, "-123456.789063"},
      // Tiny negatives keep their sign; tiny positives do not gain one.
      {-1e-7f, "-0.000000"},
      {-5e-7f, "-0.000000"},
      {5e-7f, "0.000000"},
      {float_bits(1), "0.000000"},
      {float_bits(0x80000001u), "-0.000000"},
      {16777216.0f, "16777216.000000"},
      {99999997952.0f, "99999997952.000000"},
      {1e17f, "99999998430674944.000000"},
      // Past 17 significant digits every digit prints as 0.
      {1e20f, "100000002004087730000.000000"},
      {3e18f, "2999999884200771600.000000"},
      {3.4028234663852886e38, "340282346638528860000000000000000000000.000000"},
      {-3.4028234663852886e38, "-340282346638528860000000000000000000000.000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(text(c.value), c.text) << c.value;
}

TEST(NumberText, NonFiniteValuesTakeTheConsoleForms) {
  const struct {
    std::uint32_t bits;
    const char* text;
  } cases[] = {
      {0x7F800000u, "1.#INF00"},  {0xFF800000u, "-1.#INF00"},
      {0xFFC00000u, "-1.#IND00"},  // the default NaN
      {0x7FC00000u, "1.#QNAN0"},  {0xFFC00001u, "-1.#QNAN0"},
      {0x7FFFFFFFu, "1.#QNAN0"},  {0x7F800001u, "1.#QNAN0"},  // signalling, quieted when widened
      {0xFF800001u, "-1.#QNAN0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(text(float_bits(c.bits)), c.text) << std::hex << c.bits;
    EXPECT_EQ(exact_text(float_bits(c.bits)), c.text) << std::hex << c.bits;
  }
}

TEST(NumberText, DoublesRoundAt17DigitsBeforeTheSixthDecimal) {
  const Case cases[] = {
      // 0.0000194999999999999998...: the 17-digit cut makes it a half.
      {1.95e-05, "0.000020"},
      {2.55e-05, "0.000026"},
      {-1.95e-05, "-0.000020"},
      {5e-7, "0.000000"},  // 4.99999999999999977e-07
      {2.5e-6, "0.000003"},
      {1.0078125, "1.007813"},
      {1e23, "99999999999999992000000.000000"},                     // 9.999999999999999161e22
      {1180591620717411303424.0, "1180591620717411300000.000000"},  // 2^70
  };
  for (const Case& c : cases) EXPECT_EQ(text(c.value), c.text) << c.value;
  EXPECT_EQ(text(double_bits(1)), "0.000000");  // smallest subnormal double
  EXPECT_EQ(text(-double_bits(1)), "-0.000000");
}

// The integer shortcut must agree with the exact path wherever it is taken.
TEST(NumberText, ShortcutAgreesWithExactPath) {
  std::mt19937_64 rng(12345);
  for (int i = 0; i < 200000; ++i) {
    float f = float_bits(static_cast<std::uint32_t>(rng()));
    ASSERT_EQ(text(f), exact_text(f)) << std::hexfloat << f;
    double flipped = 1.0 - static_cast<double>(f);
    ASSERT_EQ(text(flipped), exact_text(flipped)) << std::hexfloat << flipped;
  }
  // Values a model really holds: multiples of small powers of two, near halves.
  for (int k = -70000; k <= 70000; ++k) {
    float f = static_cast<float>(k) / 1024.0f;
    ASSERT_EQ(text(f), exact_text(f)) << f;
    double flipped = 1.0 - static_cast<double>(f);
    ASSERT_EQ(text(flipped), exact_text(flipped)) << flipped;
  }
}

TEST(NumberText, UnsignedIntegers) {
  const struct {
    std::uint64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {9, "9"},
      {10, "10"},
      {65536, "65536"},
      {4294967296ull, "4294967296"},
      {18446744073709551615ull, "18446744073709551615"},
  };
  for (const auto& c : cases) {
    char buf[24];
    EXPECT_EQ(std::string(buf, format_unsigned(c.value, buf)), c.text);
  }
}

}  // namespace
