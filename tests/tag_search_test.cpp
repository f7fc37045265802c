#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "mdx/mdx.h"
#include "plain_source.h"

namespace {

// The same bytes seen through the windowed source and the plain one.
struct TwoSources {
  std::stringbuf window_buf;
  std::istringstream plain_stream;
  ModelSource fast;
  PlainSource plain;

  TwoSources(const std::string& bytes, std::size_t window_size)
      : window_buf(bytes), plain_stream(bytes) {
    attach_model_source(&fast, &window_buf, window_size);
    plain = make_plain_source(plain_stream);
  }
};

TEST(TagSearch, FindsTagAcrossWindowEdge) {
  for (std::size_t window = 4; window <= 12; ++window) {
    for (std::size_t at = 0; at + 4 <= 40; ++at) {
      std::string bytes(40, 'x');
      bytes.replace(at, 4, "PVTX");
      std::stringbuf buf(bytes);
      ModelSource src;
      attach_model_source(&src, &buf, window);
      std::uint64_t found = 0;
      ASSERT_TRUE(find_tag(src, kIndexTag, 0, &found)) << window << " " << at;
      EXPECT_EQ(found, at);
      EXPECT_EQ(tell(src), at + 4);
    }
  }
}

// Bytes drawn from the letters of the tags give many near misses and
// overlapping candidates; every start offset must give the plain answer.
TEST(TagSearch, AgreesWithOneTestPerOffset) {
  std::mt19937 rng(7);
  const char letters[] = "VRTXPUBS";
  const Tag tags[] = {kVertexTag, kIndexTag, kTexCoordTag};
  for (int round = 0; round < 60; ++round) {
    std::string bytes(rng() % 300, ' ');
    for (char& c : bytes) c = letters[rng() % 8];
    for (std::size_t window : {4u, 5u, 7u, 16u, 61u, 4096u}) {
      TwoSources s(bytes, window);
      for (std::uint64_t from = 0; from <= bytes.size() + 2; ++from) {
        for (Tag tag : tags) {
          std::uint64_t fast_at = 0, plain_at = 0;
          bool fast_found = find_tag(s.fast, tag, from, &fast_at);
          bool plain_found = find_tag(s.plain, tag, from, &plain_at);
          ASSERT_EQ(fast_found, plain_found) << "window " << window << " from " << from;
          if (fast_found) {
            ASSERT_EQ(fast_at, plain_at);
            ASSERT_EQ(tell(s.fast), fast_at + 4);
          }
        }
      }
    }
  }
}

TEST(TagSearch, ShortFilesAndTagsAtTheVeryEnd) {
  for (std::size_t size = 0; size <= 7; ++size) {
    std::string bytes(size, '\0');
    std::stringbuf buf(bytes);
    ModelSource src;
    attach_model_source(&src, &buf, 4);
    std::uint64_t at;
    EXPECT_FALSE(find_tag(src, kVertexTag, 0, &at)) << size;
    if (size < 4) continue;
    bytes.replace(size - 4, 4, "VRTX");
    std::stringbuf tagged(bytes);
    attach_model_source(&src, &tagged, 4);
    ASSERT_TRUE(find_tag(src, kVertexTag, 0, &at)) << size;
    EXPECT_EQ(at, size - 4);
    EXPECT_FALSE(find_tag(src, kVertexTag, size - 3, &at));
    // Found, but nothing after it can be read.
    std::uint32_t count;
    EXPECT_FALSE(read_bytes(src, &count, 4));
  }
}

TEST(ModelSourceRead, ValuesAcrossWindowEdgesAndSeeksBack) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 37));
  for (std::size_t window : {4u, 13u, 64u}) {
    TwoSources s(bytes, window);
    for (std::uint64_t start : {0u, 3u, 11u, 500u, 988u, 2u}) {
      seek_to(s.fast, start);
      seek_to(s.plain, start);
      for (int i = 0; i < 10; ++i) {
        char a[12] = {}, b[12] = {};
        bool fast_ok = read_bytes(s.fast, a, sizeof a);
        bool plain_ok = read_bytes(s.plain, b, sizeof b);
        ASSERT_EQ(fast_ok, plain_ok) << window << " " << start << " " << i;
        if (!fast_ok) break;
        ASSERT_EQ(std::string(a, 12), std::string(b, 12));
      }
      EXPECT_EQ(tell(s.fast), tell(s.plain));
    }
  }
}

}  // namespace
