// Cost of the number text in ns per number and of the whole walk in MB/s.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <random>
#include <sstream>
#include <streambuf>
#include <vector>

#ifdef MDX2OBJ_BENCH_LIBPNG
#include <png.h>
#endif

#include "generate.h"
#include "image/png_write.h"
#include "mdx/geoset_walk.h"
#include "mdx/model_source.h"
#include "model_builder.h"
#include "obj/number_text.h"
#include "obj/obj_sink.h"

namespace {

std::vector<float> coordinates() {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> coord(-250.0f, 250.0f);
  std::vector<float> values(4096);
  for (float& v : values) v = coord(rng);
  return values;
}

std::vector<float> grid_tex_values() {
  std::vector<float> values(4096);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i % 257) / 256.0f;
  return values;
}

// Formats values of one kind in turn; `format` turns one value into text.
template <class Format>
void format_numbers(benchmark::State& state, const std::vector<float>& values, Format format) {
  char buf[kMaxNumberText];
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(format(values[i++ & 4095], buf));
  state.SetItemsProcessed(state.iterations());
}

void BM_FormatCoordinate(benchmark::State& state) {
  format_numbers(state, coordinates(), [](float v, char* out) { return format_float6(v, out); });
}
BENCHMARK(BM_FormatCoordinate);

void BM_FormatFlippedTexV(benchmark::State& state) {
  format_numbers(state, grid_tex_values(),
                 [](float v, char* out) { return format_fixed6(1.0 - v, out); });
}
BENCHMARK(BM_FormatFlippedTexV);

void BM_FormatExactPath(benchmark::State& state) {
  format_numbers(state, coordinates(),
                 [](float v, char* out) { return format_fixed6_exact(v, out); });
}
BENCHMARK(BM_FormatExactPath);

// The floor's formatter, for scale.
void BM_ToCharsFixed6(benchmark::State& state) {
  format_numbers(state, coordinates(), [](float v, char* out) {
    return std::to_chars(out, out + kMaxNumberText, double(v), std::chars_format::fixed, 6).ptr;
  });
}
BENCHMARK(BM_ToCharsFixed6);

void BM_FormatCorner(benchmark::State& state) {
  std::uint64_t number = 250000;
  char buf[64];
  for (auto _ : state) benchmark::DoNotOptimize(format_corner(number++ & 0x3FFFF, buf));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatCorner);

struct NullBuf : std::streambuf {
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int overflow(int c) override { return c; }
};

void BM_WalkModel(benchmark::State& state) {
  std::mt19937 rng(5);
  std::vector<GeosetData> geosets;
  for (int i = 0; i < 40; ++i) {
    GeosetData g = make_geoset(3000, 6000, static_cast<float>(i));
    for (std::uint16_t& index : g.indices) index = static_cast<std::uint16_t>(rng() % 3000);
    geosets.push_back(g);
  }
  const std::string model = build_model(geosets);
  std::ostringstream console;
  for (auto _ : state) {
    std::stringbuf in(model);
    NullBuf out;
    ModelSource src;
    attach_model_source(&src, &in);
    ObjSink sink;
    attach_obj_sink(&sink, &out);
    std::string err;
    console.str("");
    benchmark::DoNotOptimize(convert_geosets(src, sink, console, &err));
    flush_obj_sink(sink, &err);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(model.size()));
}
BENCHMARK(BM_WalkModel)->Unit(benchmark::kMillisecond);

}  // namespace

// One texture of 256 pixels a side as games draw them (smooth shapes, fine
// grain, soft alpha) written as PNG at each zlib level; the counter is the
// PNG's size against the raw pixels.
// A texture as games draw them, with alpha or opaque, as an image.
Image painted_image(bool alpha) {
  const Pixels p = painted_texture(7, 256, alpha);
  Image image;
  size_image(&image, p.width, p.height);
  image.rgba = p.rgba;
  return image;
}

// The PNG of a painted 256 x 256 texture: libdeflate's level (first
// argument), the filter of every row (second: -1 each row's own choice, 0
// none, 1 sub, 2 up, 4 Paeth), with alpha or opaque (third). "share" is the
// PNG's size against the pixels'.
void BM_WritePng(benchmark::State& state) {
  const Image image = painted_image(state.range(2) != 0);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::stringbuf png;
    std::string err;
    write_png_with(&png, image, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                   &err);
    bytes = png.str().size();
  }
  state.counters["share"] = double(bytes) / double(image.rgba.size());
}
BENCHMARK(BM_WritePng)
    ->ArgsProduct({{1, 4, 6, 9}, {-1, 0, 2, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

#ifdef MDX2OBJ_BENCH_LIBPNG
void put_png(png_structp png, png_bytep data, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}

// The same texture as libpng writes it with zlib at a level (first argument),
// its filters chosen row by row: the writer before libdeflate.
void BM_WritePngLibpng(benchmark::State& state) {
  const Image image = painted_image(state.range(1) != 0);
  const bool opaque = is_opaque(image);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, put_png, nullptr);
    png_set_compression_level(png, static_cast<int>(state.range(0)));
    png_set_IHDR(png, info, image.width, image.height, 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (std::uint32_t y = 0; y < image.height; ++y) {
      png_write_row(png, const_cast<png_bytep>(image.rgba.data() + y * image.width * 4));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bytes = out.size();
  }
  state.counters["share"] = double(bytes) / double(image.rgba.size());
}
BENCHMARK(BM_WritePngLibpng)->ArgsProduct({{1, 4, 6}, {0, 1}})->Unit(benchmark::kMillisecond);
#endif

BENCHMARK_MAIN();
