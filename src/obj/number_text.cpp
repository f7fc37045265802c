#include "obj/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

constexpr std::uint64_t kSignBit = std::uint64_t(1) << 63;
constexpr std::uint64_t kMantissaMask = (std::uint64_t(1) << 52) - 1;
constexpr std::uint64_t kExponentMask = std::uint64_t(0x7FF) << 52;
constexpr std::uint64_t kQuietBit = std::uint64_t(1) << 51;

// Exact text of any double needs at most 767 significant digits.
constexpr int kExactDigits = 770;
constexpr int kSignificantDigits = 17;
constexpr int kDecimals = 6;

char* put(char* out, const char* text) {
  std::size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return out + n;
}

char* put_pair(char* out, unsigned pair) {
  std::memcpy(out, kDigitPairs + 2 * pair, 2);
  return out + 2;
}

char* put_non_finite(std::uint64_t bits, char* out) {
  bool negative = (bits & kSignBit) != 0;
  std::uint64_t mantissa = bits & kMantissaMask;
  if (mantissa == 0) return put(out, negative ? "-1.#INF00" : "1.#INF00");
  // The default NaN of a float keeps only its quiet bit when widened.
  if (negative && mantissa == kQuietBit) return put(out, "-1.#IND00");
  return put(out, negative ? "-1.#QNAN0" : "1.#QNAN0");
}

}  // namespace

char* format_unsigned(std::uint64_t value, char* out) {
  char text[20];
  char* p = text + sizeof text;
  while (value >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * value, 2);
  } else {
    *--p = static_cast<char>('0' + value);
  }
  std::size_t n = static_cast<std::size_t>(text + sizeof text - p);
  std::memcpy(out, p, n);
  return out + n;
}

char* format_fixed6_exact(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if ((bits & kExponentMask) == kExponentMask) return put_non_finite(bits, out);
  if (value == 0) return put(out, "0.000000");

  // All the digits of the binary value; the 17-digit cut below then rounds
  // halves away from zero, as the sixth-decimal cut does.
  char sci[kExactDigits + 16];
  std::to_chars_result r = std::to_chars(sci, sci + sizeof sci, std::fabs(value),
                                         std::chars_format::scientific, kExactDigits);
  char* e = static_cast<char*>(std::memchr(sci, 'e', r.ptr - sci));
  int exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+'), r.ptr, exponent);

  int digits[kSignificantDigits];
  digits[0] = sci[0] - '0';
  for (int i = 1; i < kSignificantDigits; ++i) digits[i] = sci[i + 1] - '0';
  if (sci[kSignificantDigits + 1] >= '5') {
    int i = kSignificantDigits - 1;
    while (i >= 0 && digits[i] == 9) digits[i--] = 0;
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = 1;
      ++exponent;
    }
  }

  // Fixed-point digits from the highest place down to the sixth decimal;
  // places beyond the 17 significant digits are zero.
  auto digit_at = [&](int place) {
    int i = exponent - place;
    return i >= 0 && i < kSignificantDigits ? digits[i] : 0;
  };
  int top = exponent > 0 ? exponent : 0;
  int fixed[1 + 310 + kDecimals];
  int count = 0;
  fixed[count++] = 0;  // room for a carry out of the top place
  for (int place = top; place >= -kDecimals; --place) fixed[count++] = digit_at(place);
  if (digit_at(-kDecimals - 1) >= 5) {
    int i = count - 1;
    while (fixed[i] == 9) fixed[i--] = 0;
    ++fixed[i];
  }

  if (bits & kSignBit) *out++ = '-';
  int first = fixed[0] == 0 ? 1 : 0;
  for (int i = first; i < count; ++i) {
    if (i == count - kDecimals) *out++ = '.';
    *out++ = static_cast<char>('0' + fixed[i]);
  }
  return out;
}

char* format_fixed6(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  // With at most 33 significant bits and a magnitude below 1e11, value * 1e6
  // is exact and lies either on a half or far from it compared with the
  // 17-digit cut, so rounding it directly gives the digits of the exact path.
  // Every widened float below 1e11 qualifies, and so does 1 - v for most v.
  double magnitude = std::fabs(value);
  if ((bits & 0xFFFFF) != 0 || !(magnitude < 1e11)) {
    return format_fixed6_exact(value, out);
  }
  if (value == 0) return put(out, "0.000000");
  double scaled = magnitude * 1e6;
  std::uint64_t whole = static_cast<std::uint64_t>(scaled);
  std::uint64_t rounded = whole + (scaled - static_cast<double>(whole) >= 0.5);
  if (bits & kSignBit) *out++ = '-';
  out = format_unsigned(rounded / 1000000, out);
  unsigned decimals = static_cast<unsigned>(rounded % 1000000);
  *out++ = '.';
  out = put_pair(out, decimals / 10000);
  out = put_pair(out, decimals / 100 % 100);
  return put_pair(out, decimals % 100);
}
