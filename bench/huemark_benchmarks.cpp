// Micro-benchmarks of the texture path and of LRS decompression. Throughput is in pixels
// (items/s, so "250M/s" is 250 Mpixel/s), or in output bytes for decompress_lrs. libsquish's
// DecompressImage runs beside the DXT decoders as a peer.
//
//   huemark_benchmarks [--benchmark_filter=REGEX] [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>
#include <omp.h>
#include <squish.h>

#include <expected>
#include <string>

#include "bench_content.h"
#include "file_type/dxt.h"
#include "file_type/palette.h"
#include "file_type/texture.h"
#include "huemark/dominant_colour.h"
#include "lrs_compressor.h"
#include "record_writer.h"
#include "utils/lrs.h"

namespace {

using bench::TextureKind;
using dat::Bytes;
using dat::testing::Random;
using namespace dat::testing::format_id;

dat::Texture make_texture(std::uint32_t format, std::uint32_t side, dat::ByteView pixels,
                          std::optional<std::uint32_t> palette_id = std::nullopt) {
  const auto s = static_cast<std::int32_t>(side);
  auto texture = dat::Texture::unpack(dat::testing::texture(1, s, s, format, pixels, palette_id));
  if (!texture) std::abort();
  return std::move(*texture);
}

dat::Texture bench_texture(TextureKind kind, std::uint32_t side) {
  Random random(side * 7 + static_cast<std::uint32_t>(kind));
  const Bytes pixels = bench::texture_pixels(kind, side, side, random);
  return make_texture(bench::format_raw(kind), side, pixels,
                      kind == TextureKind::P8 ? std::optional(1u) : std::nullopt);
}

dat::Palette bench_palette() {
  Random random(99);
  return dat::Palette{1, bench::palette_colours(random)};
}

void count_pixels(benchmark::State& state, std::uint64_t pixels) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pixels));
}

// --- DXT decoders, and libsquish on the same blocks --------------------------------------

// libsquish runs DecompressImage on an OpenMP team. One thread compares it core for core with
// the decoders here, and spares it the team's start-up on a busy machine; set before main.
const bool kSquishOnOneThread = [] {
  omp_set_num_threads(1);
  return true;
}();

using Decoder = Bytes (*)(dat::ByteView, std::uint32_t, std::uint32_t);

void decompress(benchmark::State& state, TextureKind kind, Decoder decoder) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const dat::Texture texture = bench_texture(kind, side);
  for (auto _ : state) {
    Bytes rgba = decoder(texture.source_data, side, side);
    benchmark::DoNotOptimize(rgba.data());
  }
  count_pixels(state, std::uint64_t{side} * side);
}

void squish_decompress(benchmark::State& state, TextureKind kind, int flags) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const dat::Texture texture = bench_texture(kind, side);
  for (auto _ : state) {
    Bytes rgba(std::size_t{4} * side * side);  // allocated and zeroed, as the decoders' output is
    squish::DecompressImage(rgba.data(), static_cast<int>(side), static_cast<int>(side), texture.source_data.data(),
                            flags);
    benchmark::DoNotOptimize(rgba.data());
  }
  count_pixels(state, std::uint64_t{side} * side);
}

BENCHMARK_CAPTURE(decompress, dxt1, TextureKind::Dxt1, dat::decompress_dxt1)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(decompress, dxt3, TextureKind::Dxt3, dat::decompress_dxt3)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(decompress, dxt5, TextureKind::Dxt5, dat::decompress_dxt5)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(squish_decompress, dxt1, TextureKind::Dxt1, squish::kDxt1)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(squish_decompress, dxt3, TextureKind::Dxt3, squish::kDxt3)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(squish_decompress, dxt5, TextureKind::Dxt5, squish::kDxt5)->Arg(128)->Arg(256);

// --- to_rgba8 of every convertible kind, 256 x 256 ---------------------------------------

dat::Texture kind_texture(std::uint32_t format, std::uint32_t side) {
  Random random(format);
  const std::size_t pixels = std::size_t{side} * side;
  switch (format) {
    case kA8:
    case kLscapeAlpha: {
      Bytes grey(pixels);
      for (auto& b : grey) b = static_cast<std::uint8_t>(random.below(40) + 100);
      return make_texture(format, side, grey);
    }
    case kLscapeR8G8B8:
      return make_texture(format, side, bench::texture_pixels(TextureKind::R8G8B8, side, side, random));
    case kIndex16: {
      const Bytes narrow = bench::texture_pixels(TextureKind::P8, side, side, random);
      Bytes wide;
      for (const std::uint8_t index : narrow) wide.insert(wide.end(), {index, 0});
      return make_texture(format, side, wide, 1u);
    }
    default:
      break;
  }
  for (const TextureKind kind : {TextureKind::Dxt1, TextureKind::Dxt3, TextureKind::Dxt5, TextureKind::P8,
                                 TextureKind::R8G8B8, TextureKind::A8R8G8B8}) {
    if (bench::format_raw(kind) == format) return bench_texture(kind, side);
  }
  std::abort();
}

void to_rgba8(benchmark::State& state, std::uint32_t format) {
  constexpr std::uint32_t kSide = 256;
  const dat::Texture texture = kind_texture(format, kSide);
  const dat::Palette palette = bench_palette();
  const auto provider = [&](std::uint32_t) -> std::expected<dat::Palette, std::string> { return palette; };
  for (auto _ : state) {
    auto rgba = texture.to_rgba8(provider);
    if (!rgba) state.SkipWithError("to_rgba8 failed");
    benchmark::DoNotOptimize(rgba->data());
  }
  count_pixels(state, std::uint64_t{kSide} * kSide);
}

BENCHMARK_CAPTURE(to_rgba8, dxt1, bench::format_raw(TextureKind::Dxt1));
BENCHMARK_CAPTURE(to_rgba8, dxt3, bench::format_raw(TextureKind::Dxt3));
BENCHMARK_CAPTURE(to_rgba8, dxt5, bench::format_raw(TextureKind::Dxt5));
BENCHMARK_CAPTURE(to_rgba8, p8, bench::format_raw(TextureKind::P8));
BENCHMARK_CAPTURE(to_rgba8, index16, kIndex16);
BENCHMARK_CAPTURE(to_rgba8, r8g8b8, bench::format_raw(TextureKind::R8G8B8));
BENCHMARK_CAPTURE(to_rgba8, a8r8g8b8, bench::format_raw(TextureKind::A8R8G8B8));
BENCHMARK_CAPTURE(to_rgba8, lscape_r8g8b8, kLscapeR8G8B8);
BENCHMARK_CAPTURE(to_rgba8, a8, kA8);
BENCHMARK_CAPTURE(to_rgba8, lscape_alpha, kLscapeAlpha);

// --- Dominant colour ----------------------------------------------------------------------

void dominant_colour(benchmark::State& state) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const dat::Texture texture = bench_texture(TextureKind::Dxt5, side);
  const Bytes rgba = dat::decompress_dxt5(texture.source_data, side, side);
  for (auto _ : state) benchmark::DoNotOptimize(huemark::dominant_colour(rgba));
  count_pixels(state, std::uint64_t{side} * side);
}
BENCHMARK(dominant_colour)->Arg(128)->Arg(256);

// DXT decode to RGBA8, then the histogram over it.
void decode_then_dominant(benchmark::State& state, TextureKind kind, Decoder decoder) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const dat::Texture texture = bench_texture(kind, side);
  for (auto _ : state) {
    const Bytes rgba = decoder(texture.source_data, side, side);
    benchmark::DoNotOptimize(huemark::dominant_colour(rgba));
  }
  count_pixels(state, std::uint64_t{side} * side);
}
BENCHMARK_CAPTURE(decode_then_dominant, dxt1, TextureKind::Dxt1, dat::decompress_dxt1)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(decode_then_dominant, dxt3, TextureKind::Dxt3, dat::decompress_dxt3)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(decode_then_dominant, dxt5, TextureKind::Dxt5, dat::decompress_dxt5)->Arg(128)->Arg(256);

// The resolution's path: block-compressed kinds counted from their block tables, the others
// decoded to RGBA8 and then counted.
void dominant_colour_of_texture(benchmark::State& state, TextureKind kind) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const dat::Texture texture = bench_texture(kind, side);
  const dat::Palette palette = bench_palette();
  const auto provider = [&](std::uint32_t) -> std::expected<dat::Palette, std::string> { return palette; };
  for (auto _ : state) {
    const auto colour = huemark::dominant_colour_of_texture(texture, provider);
    if (!colour) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(colour);
  }
  count_pixels(state, std::uint64_t{side} * side);
}
BENCHMARK_CAPTURE(dominant_colour_of_texture, dxt1, TextureKind::Dxt1)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(dominant_colour_of_texture, dxt3, TextureKind::Dxt3)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(dominant_colour_of_texture, dxt5, TextureKind::Dxt5)->Arg(128)->Arg(256);
BENCHMARK_CAPTURE(dominant_colour_of_texture, p8, TextureKind::P8)->Arg(256);
BENCHMARK_CAPTURE(dominant_colour_of_texture, r8g8b8, TextureKind::R8G8B8)->Arg(256);
BENCHMARK_CAPTURE(dominant_colour_of_texture, a8r8g8b8, TextureKind::A8R8G8B8)->Arg(256);

// --- LRS decompression --------------------------------------------------------------------

// What the archive stores compressed: texture records, whose pixels barely compress (mostly
// literals), and runs of small records, which are mostly back-references.
Bytes lrs_plain(bool records) {
  Random random(5);
  if (!records) {
    return dat::testing::texture(1, 256, 256, 41, bench::texture_pixels(TextureKind::P8, 256, 256, random), 1);
  }
  Bytes plain;
  for (std::uint32_t i = 0; plain.size() < 64 * 1024; ++i) {
    const Bytes record = i % 2 == 0 ? dat::testing::solid_surface(0xFF000000u | random.below(1 << 24))
                                    : dat::testing::textured_surface(0x05000000 + i, 0);
    plain.insert(plain.end(), record.begin(), record.end());
  }
  return plain;
}

void decompress_lrs(benchmark::State& state, bool records) {
  const Bytes plain = lrs_plain(records);
  const Bytes packed = dat::testing::compress_lrs(plain);
  for (auto _ : state) {
    Bytes out = dat::decompress_lrs(packed);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
  state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(plain.size());
}
BENCHMARK_CAPTURE(decompress_lrs, texture, false);
BENCHMARK_CAPTURE(decompress_lrs, records, true);

}  // namespace

BENCHMARK_MAIN();
