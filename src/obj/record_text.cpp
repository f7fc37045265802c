#include "obj/record_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/little_endian.h"
#include "common/model_float.h"
#include "obj/number_text.h"

namespace {

char* put_number(char* out, float value) {
  *out++ = ' ';
  return format_float6(value, out);
}

char* put_vec3(char* out, float x, float y, float z) {
  out = put_number(out, x);
  out = put_number(out, y);
  out = put_number(out, z);
  *out = '\n';
  return out + 1;
}

// One record at `b`, turned and scaled as the style says.
char* put_vertex(const Settings& style, const unsigned char* b, char* out) {
  float x = f32_at(b), y = f32_at(b + 4), z = f32_at(b + 8);
  if (style.scale != 1.0) {
    x = scaled(x, style.scale);
    y = scaled(y, style.scale);
    z = scaled(z, style.scale);
  }
  out[0] = 'v';
  if (style.y_up) return put_vec3(out + 1, x, z, negated(y));
  return put_vec3(out + 1, x, y, z);
}

char* put_normal(const Settings& style, const unsigned char* b, char* out) {
  float x = f32_at(b), y = f32_at(b + 4), z = f32_at(b + 8);
  std::memcpy(out, "vn", 2);
  if (style.y_up) return put_vec3(out + 2, x, z, negated(y));
  return put_vec3(out + 2, x, y, z);
}

char* put_tex_coord(const unsigned char* b, char* out) {
  double v = f32_at(b + 4);
  // A NaN goes through unchanged, as the subtraction itself passes it on;
  // spelled out so that no compiler or CPU can choose another NaN.
  double flipped = v != v ? v : 1.0 - v;
  std::memcpy(out, "vt", 2);
  out = put_number(out + 2, f32_at(b));
  *out++ = ' ';
  out = format_fixed6(flipped, out);
  *out = '\n';
  return out + 1;
}

// A face number below 10^8 is the text of number / 1000, its prefix, and its
// last three digits. The numbers of one geoset's faces share at most 67
// prefixes: their texts are made once for the span, each in the low five
// bytes of an entry whose top byte is 8 times its length.
struct CornerPrefixes {
  std::uint32_t first = 0;  // number / 1000 of the first entry
  std::uint64_t entry[67];
};

constexpr std::uint64_t kPrefixText = (std::uint64_t(1) << 40) - 1;

void make_prefixes(CornerPrefixes* p, std::uint32_t lowest, std::uint32_t highest) {
  p->first = lowest / 1000;
  for (std::uint32_t k = 0; k <= highest / 1000 - p->first; ++k) {
    int digits = 0;
    const std::uint64_t text = p->first + k == 0 ? 0 : short_number_text(p->first + k, &digits);
    p->entry[k] = text | std::uint64_t(8 * digits) << 56;
  }
}

int text_length(std::uint64_t text) {
#if defined(__GNUC__)
  return ((63 ^ __builtin_clzll(text)) >> 3) + 1;
#else
  int digits = 1;
  while (digits < 8 && (text >> (8 * digits)) != 0) ++digits;
  return digits;
#endif
}

// One corner " n/n/n" of `number` (1 to 10^8 - 1): the number's text in 8
// bytes, its length the count of its bytes that are not zero. With `small`,
// numbers below 1000 may come, whose prefix 0 is no text and whose digits
// stand unpadded. Always inlined: a compiler left to itself may call it for
// each corner of the first geosets' faces.
template <bool small>
[[gnu::always_inline]] inline char* put_corner(const CornerPrefixes& p, std::uint32_t number,
                                               char* out) {
  const std::uint32_t prefix =
      static_cast<std::uint32_t>((std::uint64_t(number) * 274877907) >> 38);
  const std::uint64_t entry = p.entry[prefix - p.first];
  std::uint64_t last = kThreeDigits.text[number - prefix * 1000];
  if (small && prefix == 0) last >>= 8 * ((number < 100) + (number < 10));
  const std::uint64_t text = (entry & kPrefixText) | last << (entry >> 56);
  return corner_copies(text, text_length(text), out);
}

// The records of a span, each made by `put`.
template <class Put>
void format_each(const RecordSpan& span, TextSpace* text, Put put) {
  const std::size_t size = record_size(span.kind);
  const unsigned char* b = span.bytes;
  for (std::uint32_t i = 0; i < span.count; ++i, b += size) {
    if (text->end - text->at < static_cast<std::ptrdiff_t>(kMaxRecord)) text->more(text);
    text->at = put(b, text->at);
  }
}

template <bool small>
void format_short_faces(const RecordSpan& span, std::uint32_t first, std::uint32_t most,
                        TextSpace* text) {
  CornerPrefixes prefixes;
  make_prefixes(&prefixes, first, first + most);
  format_each(span, text, [&prefixes, first](const unsigned char* b, char* p) {
    *p++ = 'f';
    p = put_corner<small>(prefixes, first + le_u16(b), p);
    p = put_corner<small>(prefixes, first + le_u16(b + 2), p);
    p = put_corner<small>(prefixes, first + le_u16(b + 4), p);
    *p = '\n';
    return p + 1;
  });
}

void format_faces(const RecordSpan& span, TextSpace* text) {
  // The largest vertex number of the span tells the prefixes it needs. Taken
  // over numbers moved by 2^15 into the signed range, the maximum is one
  // instruction for eight numbers on every x86-64.
  std::int16_t moved_most = INT16_MIN;
  const std::size_t numbers = std::size_t(3) * span.count;
  for (std::size_t i = 0; i < numbers; ++i) {
    std::uint16_t index;
    std::memcpy(&index, span.bytes + 2 * i, 2);
    const std::int16_t moved = static_cast<std::int16_t>(index ^ 0x8000);
    moved_most = moved > moved_most ? moved : moved_most;
  }
  const std::uint32_t most = static_cast<std::uint16_t>(moved_most) ^ 0x8000u;
  const std::uint64_t first = span.base + 1;
  if (first + most < 100000000) {
    const std::uint32_t low = static_cast<std::uint32_t>(first);
    if (low < 1000) return format_short_faces<true>(span, low, most, text);
    return format_short_faces<false>(span, low, most, text);
  }
  // Numbers of nine digits and more, on models of a hundred million vertices.
  format_each(span, text, [first](const unsigned char* b, char* p) {
    *p++ = 'f';
    for (int c = 0; c < 3; ++c) p = format_corner(first + le_u16(b + 2 * c), p);
    *p = '\n';
    return p + 1;
  });
}

int decimal_digits(std::uint64_t n) {
  int digits = 1;
  while (n >= 10) n /= 10, ++digits;
  return digits;
}

}  // namespace

void format_span(const RecordSpan& span, const Settings& style, TextSpace* text) {
  switch (span.kind) {
    case RecordKind::kVertex:
      if (style.y_up || style.scale != 1.0) {
        return format_each(span, text, [&style](const unsigned char* b, char* out) {
          return put_vertex(style, b, out);
        });
      }
      return format_each(span, text, [](const unsigned char* b, char* out) {
        out[0] = 'v';
        return put_vec3(out + 1, f32_at(b), f32_at(b + 4), f32_at(b + 8));
      });
    case RecordKind::kNormal:
      return format_each(span, text, [&style](const unsigned char* b, char* out) {
        return put_normal(style, b, out);
      });
    case RecordKind::kTexCoord:
      return format_each(span, text, put_tex_coord);
    case RecordKind::kFace:
      return format_faces(span, text);
    case RecordKind::kObject:
      return format_each(span, text, [&span](const unsigned char*, char* out) {
        std::memcpy(out, "o geoset_", 9);
        out = format_unsigned(span.base, out + 9);
        *out = '\n';
        return out + 1;
      });
    case RecordKind::kMaterial:
      return format_each(span, text, [&span](const unsigned char*, char* out) {
        if (span.base == 0) {
          std::memcpy(out, "usemtl none\n", 12);
          return out + 12;
        }
        std::memcpy(out, "usemtl material_", 16);
        out = format_unsigned(span.base, out + 16);
        *out = '\n';
        return out + 1;
      });
    case RecordKind::kGroupSize:
    case RecordKind::kGroupNode:
    case RecordKind::kVertexGroup:
      return;  // an OBJ has no skin
  }
}

std::size_t estimated_text(RecordKind kind, std::uint64_t base) {
  switch (kind) {
    case RecordKind::kVertex:
      return 1 + 3 * 12 + 1;  // " -123.456789" three times
    case RecordKind::kNormal:
      return 2 + 3 * 12 + 1;
    case RecordKind::kTexCoord:
      return 2 + 2 * 12 + 1;
    case RecordKind::kFace:
      // The geoset's largest number, as three times three copies and their
      // separators.
      return 1 + 3 * (3 * decimal_digits(base + 65536) + 3) + 1;
    case RecordKind::kObject:
    case RecordKind::kMaterial:
    case RecordKind::kGroupSize:
    case RecordKind::kGroupNode:
    case RecordKind::kVertexGroup:
      break;
  }
  return 16 + 20 + 1;
}
