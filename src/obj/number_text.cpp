#include "obj/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

// The digit stores write several digits at once in memory order.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "mdx2obj's number text needs a little-endian machine"
#endif

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
#ifdef __EMSCRIPTEN__
  // The web build's library has no to_chars for doubles; its printf writes
  // the exact expansion too, and knows no locale but C.
  const char* end = sci + std::snprintf(sci, sizeof sci, "%.*e", kExactDigits, std::fabs(value));
#else
  const char* end = std::to_chars(sci, sci + sizeof sci, std::fabs(value),
                                  std::chars_format::scientific, kExactDigits)
                        .ptr;
#endif
  const char* e = static_cast<const char*>(std::memchr(sci, 'e', end - sci));
  int exponent = 0;
  std::from_chars(e + 1 + (e[1] == '+'), end, exponent);

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

namespace {

std::uint64_t pair_text(std::uint32_t pair) {
  std::uint16_t text;
  std::memcpy(&text, kDigitPairs + 2 * pair, 2);
  return text;
}

// The eight decimal digits of `value` (below 10^8) as ASCII, the first digit
// in the lowest byte, so that one little-endian store writes them in order.
// value / 10^6 as a fixed-point number with 48 fraction bits, rounded up so
// that every cut below stays exact: each multiplication by 100 brings the
// next pair of digits above the point.
std::uint64_t eight_digits(std::uint32_t value) {
  constexpr std::uint64_t kFraction = (std::uint64_t(1) << 48) - 1;
  std::uint64_t y = value * std::uint64_t(281474977);  // 2^48 / 10^6, rounded up
  std::uint64_t text = pair_text(static_cast<std::uint32_t>(y >> 48));
  for (int shift = 16; shift < 64; shift += 16) {
    y = (y & kFraction) * 100;
    text |= pair_text(static_cast<std::uint32_t>(y >> 48)) << shift;
  }
  return text;
}

// rounded / 10^6 (rounded below 10^9) as a fixed-point number with 52
// fraction bits, rounded up so that every cut stays exact: the whole part
// above the point into *whole, and each of two multiplications by 1000 brings
// the next three decimals up. Returns the point and the six decimals as
// ASCII, the point in the lowest byte.
std::uint64_t point_and_decimals(std::uint64_t rounded, std::uint32_t* whole) {
  constexpr std::uint64_t kFraction = (std::uint64_t(1) << 52) - 1;
  std::uint64_t y = rounded * std::uint64_t(4503599628);  // 2^52 / 10^6, rounded up
  *whole = static_cast<std::uint32_t>(y >> 52);
  y = (y & kFraction) * 1000;
  std::uint64_t high = kThreeDigits.text[y >> 52];
  y = (y & kFraction) * 1000;
  std::uint64_t low = kThreeDigits.text[y >> 52];
  return '.' | high << 8 | low << 32;
}

// The length of `value` (below 10^8); the branches predict well where
// consecutive numbers have the same length, as a geoset's face numbers do.
int digit_count(std::uint32_t value) {
  if (value < 10000) return value < 100 ? 1 + (value >= 10) : 3 + (value >= 1000);
  return value < 1000000 ? 5 + (value >= 100000) : 7 + (value >= 10000000);
}

void store8(char* out, std::uint64_t bytes) { std::memcpy(out, &bytes, 8); }

// A whole part of four digits or more: out of line, so that the usual case
// needs no stack frame.
[[gnu::noinline]] char* long_millionths(std::uint64_t rounded, char* out) {
  out = format_unsigned(rounded / 1000000, out);
  std::uint32_t zero;
  store8(out, point_and_decimals(rounded % 1000000, &zero));
  return out + 7;
}

// The text of the whole numbers below 1000, first digit in the lowest byte,
// and in the top byte their length.
struct SmallNumbers {
  std::uint32_t text[1000];
  constexpr SmallNumbers() : text() {
    for (std::uint32_t i = 0; i < 1000; ++i) {
      std::uint32_t length = 1 + (i >= 10) + (i >= 100);
      std::uint32_t t = 0;
      for (std::uint32_t k = 0, v = i; k < length; ++k, v /= 10) {
        t |= ('0' + v % 10) << (8 * (length - 1 - k));
      }
      text[i] = t | length << 24;
    }
  }
};
constexpr SmallNumbers kSmallNumbers;

// The text of `rounded` millionths, after the sign. The whole part mostly has
// one to three digits: its text is one store from a table, and the point and
// decimals one more store, which overwrites the table's length byte. No
// branch depends on the number's length, so that noise costs no more than a
// model's tidy coordinates.
inline char* put_millionths(std::uint64_t rounded, char* out) {
  if (rounded >= 1000000000) return long_millionths(rounded, out);
  std::uint32_t integer;
  std::uint64_t decimals = point_and_decimals(rounded, &integer);
  std::uint32_t whole = kSmallNumbers.text[integer];
  std::memcpy(out, &whole, 4);
  out += whole >> 24;
  store8(out, decimals);
  return out + 7;
}

}  // namespace

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
  double scaled = magnitude * 1e6;
  std::uint64_t whole = static_cast<std::uint64_t>(scaled);
  std::uint64_t rounded = whole + (scaled - static_cast<double>(whole) >= 0.5);
  // Only a zero is unsigned; a negative value that rounds to zero keeps its
  // sign.
  *out = '-';
  out += value < 0;
  return put_millionths(rounded, out);
}

char* format_float6(float value, char* out) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  // A normal float below 2^36 is m * 2^-shift with a 24-bit m; m * 10^6 fits
  // in 44 bits, and adding half of the last place before the cut rounds half
  // up exactly, as the path over doubles does, without a floating-point step.
  std::uint32_t biased = bits >> 23 & 0xFF;
  if (biased == 0 || biased > 127 + 35) return format_fixed6(value, out);
  std::uint64_t scaled = ((bits & 0x7FFFFF) | 0x800000) * std::uint64_t(1000000);
  int shift = 150 - static_cast<int>(biased);
  std::uint64_t rounded = shift <= 0   ? scaled << -shift
                          : shift < 64 ? (scaled + (std::uint64_t(1) << (shift - 1))) >> shift
                                       : 0;
  *out = '-';
  out += bits >> 31;
  return put_millionths(rounded, out);
}

namespace {

// A corner of nine digits or more, seen only on models of a hundred million
// vertices: kept out of line so that the usual case needs no stack frame.
[[gnu::noinline]] char* long_corner(std::uint64_t number, char* out) {
  char text[24];
  char* end = format_unsigned(number, text);
  std::size_t n = static_cast<std::size_t>(end - text);
  for (int i = 0; i < 3; ++i) {
    std::memcpy(out, text, n);
    out[n] = '/';
    out += n + 1;
  }
  return out - 1;
}

}  // namespace

std::uint64_t short_number_text(std::uint32_t value, int* digits) {
  *digits = digit_count(value);
  return eight_digits(value) >> (8 * (8 - *digits));
}

char* format_corner(std::uint64_t number, char* out) {
  if (number >= 100000000) {
    *out++ = ' ';
    return long_corner(number, out);
  }
  int digits;
  const std::uint64_t text = short_number_text(static_cast<std::uint32_t>(number), &digits);
  return corner_copies(text, digits, out);
}
