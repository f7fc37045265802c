// The text of OBJ records, made from runs of records as the model stores them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/record_sink.h"
#include "obj/obj_style.h"

// Records of one kind in a row, little-endian as the model stores them:
// "v x y z", "vn x y z", "vt u 1-v" (OBJ counts v from the bottom of the
// image), "f a/a/a b/b/b c/c/c" or "o geoset_N". A face's numbers count from
// `base`, the geoset's first vertex across all geosets (from 0), and are
// written from 1, as position, texture coordinate and normal reference alike.
// An object span is one record, of number `base`.
struct RecordSpan {
  RecordKind kind = RecordKind::kVertex;
  std::uint32_t count = 0;
  std::uint64_t base = 0;
  const unsigned char* bytes = nullptr;
};

// Room for the longest record: a face of three 20-digit numbers written three
// times each, or three numbers of the largest float.
constexpr std::size_t kMaxRecord = 256;

// Text space [at, end). Before each record, `more` is called if less than
// kMaxRecord bytes remain, and leaves at least that many.
struct TextSpace {
  char* at = nullptr;
  char* end = nullptr;
  void (*more)(TextSpace*) = nullptr;
};

// Writes the text of the span's records into the space: positions and
// normals turned and scaled as the style says (the object records themselves
// are the caller's choice).
void format_span(const RecordSpan& span, const Settings& style, TextSpace* text);

// The text of one record of `kind` as most models make it (numbers below
// 1000), and at most for faces; spans are cut into chunks of about equal text
// by it.
std::size_t estimated_text(RecordKind kind, std::uint64_t base);
