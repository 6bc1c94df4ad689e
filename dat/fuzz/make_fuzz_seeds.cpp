// Writes the seed corpus of every fuzz harness: a handful of well-formed inputs per target,
// made by the test archive and record writers, plus a few damaged ones near the edges the
// decoders check. Usage: make_fuzz_seeds OUT_DIR (one subdirectory per harness).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive_writer.h"
#include "fuzz_input.h"
#include "lrs_compressor.h"
#include "record_writer.h"

namespace {

using dat::Bytes;
using dat::testing::ByteWriter;

using namespace dat::testing::format_id;

// Deterministic bytes, so the same build always writes the same seeds.
Bytes noise(std::size_t size, std::uint64_t seed) {
  Bytes out(size);
  for (auto& byte : out) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    byte = static_cast<std::uint8_t>(seed >> 56);
  }
  return out;
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes truncated(Bytes bytes, std::size_t size) {
  bytes.resize(std::min(bytes.size(), size));
  return bytes;
}

// DXT blocks with both colour modes and both alpha modes among them.
Bytes dxt_blocks(std::size_t block_size, std::size_t count, std::uint64_t seed) {
  Bytes out = noise(block_size * count, seed);
  if (count > 1) {
    // Block 1: colour 0 <= colour 1 (DXT1's three-colour mode) and, with an alpha half in
    // front, alpha 0 <= alpha 1 (DXT5's six-value mode).
    const std::size_t colour = block_size == 8 ? 8 : 16 + 8;
    out[colour] = 0x00, out[colour + 1] = 0x00, out[colour + 2] = 0xFF, out[colour + 3] = 0xFF;
    if (block_size == 16) out[16] = 0x10, out[17] = 0xF0;
  }
  return out;
}

// The records an archive of this kind holds, keyed by file id.
struct Record {
  std::uint32_t id;
  Bytes bytes;
};

std::vector<Record> sample_records() {
  return {
      {0x08000001, dat::testing::solid_surface(0x00336699)},
      {0x08000002, dat::testing::textured_surface(0x05000001, 0)},
      {0x08000003, dat::testing::textured_surface(0x05000002, 0x04000001, 6)},
      {0x05000001, dat::testing::surface_texture(0x05000001, {0x06000001, 0x06000002})},
      {0x05000002, dat::testing::surface_texture(0x05000002, {0x06000003})},
      {0x06000001, dat::testing::texture(0x06000001, 4, 4, kDxt1, dxt_blocks(8, 1, 1))},
      {0x06000002, dat::testing::texture(0x06000002, 2, 2, kR8G8B8, noise(12, 2))},
      {0x06000003, dat::testing::texture(0x06000003, 4, 2, kP8, Bytes{0, 1, 2, 3, 3, 2, 1, 0}, 0x04000001)},
      {0x04000001, dat::testing::palette(0x04000001, {0xFF102030, 0x80FF0000, 0x0000FF00, 0xFFFFFFFF})},
  };
}

class SeedWriter {
 public:
  explicit SeedWriter(std::filesystem::path root) : root_(std::move(root)) {}

  void add(const std::string& target, const std::string& name, dat::ByteView bytes) {
    const auto dir = root_ / target;
    std::filesystem::create_directories(dir);
    if (auto written = dat::testing::write_bytes(dir / name, bytes); !written) {
      std::fprintf(stderr, "make_fuzz_seeds: %s\n", written.error().c_str());
      failed_ = true;
    }
    ++count_;
  }
  [[nodiscard]] bool failed() const noexcept { return failed_; }
  [[nodiscard]] std::size_t count() const noexcept { return count_; }

 private:
  std::filesystem::path root_;
  bool failed_ = false;
  std::size_t count_ = 0;
};

Bytes build_archive(const dat::testing::BuilderOptions& options, bool compress_some) {
  dat::testing::ArchiveBuilder builder(options);
  bool compress = false;
  for (const auto& record : sample_records()) {
    builder.add_file(record.id, record.bytes, {.compressed = compress_some && compress});
    compress = !compress;
  }
  return builder.build();
}

void archives(SeedWriter& out) {
  const std::string t = "archive_fuzzer";
  out.add(t, "empty", dat::testing::ArchiveBuilder().build());
  out.add(t, "leaf_root", build_archive({}, false));
  out.add(t, "leaf_root_compressed", build_archive({}, true));
  out.add(t, "deep_scattered",
          build_archive({.block_size = 64, .max_entries_per_node = 2, .placement = dat::testing::Placement::scatter(7)},
                        true));
  out.add(t, "no_payload_blocks", build_archive({.block_size = 4, .max_entries_per_node = 4}, true));

  {
    // Odd chain shapes: a zero link part-way, a garbage last link.
    dat::testing::ArchiveBuilder builder({.block_size = 32});
    builder.add_file(0x08000001, noise(100, 3), {.layout = {.zero_link_block = 1}});
    builder.add_file(0x08000002, noise(40, 4), {.layout = {.last_link = 0xDEADBEEF, .filler = 0xAA}});
    builder.add_file(0x08000003, text("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"), {.compressed = true});
    out.add(t, "chain_shapes", builder.build());
  }
  {
    // A root whose first branch points back at itself, and a header cut inside version_string.
    dat::testing::ArchiveImage image(256);
    const auto root = image.append_node(dat::testing::NodeContent{});
    image.header().root_offset = root.offset;
    image.patch_chain_u32(root, dat::testing::node_branch_at(0), root.offset);
    out.add(t, "root_links_to_itself", image.bytes());
    out.add(t, "header_cut", truncated(build_archive({}, false), 390));
  }
}

void records(SeedWriter& out) {
  out.add("surface_fuzzer", "solid", dat::testing::solid_surface(0xFF332211));
  out.add("surface_fuzzer", "solid_other_bits", dat::testing::solid_surface(0x00ABCDEF, 0x19));
  out.add("surface_fuzzer", "textured", dat::testing::textured_surface(0x05000001, 0));
  out.add("surface_fuzzer", "textured_with_palette", dat::testing::textured_surface(0x05000001, 0x04000001, 6));
  out.add("surface_fuzzer", "textured_short", truncated(dat::testing::textured_surface(1, 2), 21));

  out.add("surface_texture_fuzzer", "no_mips", dat::testing::surface_texture(0x05000001, {}));
  out.add("surface_texture_fuzzer", "one_mip", dat::testing::surface_texture(0x05000001, {0x06000001}));
  out.add("surface_texture_fuzzer", "three_mips",
          dat::testing::surface_texture(0x05000001, {0x06000001, 0x06000002, 0x06000003}));
  out.add("surface_texture_fuzzer", "negative_count",
          ByteWriter().u32(1).u32(0).u8(2).i32(-1).u32(7).take());

  struct TextureSeed {
    const char* name;
    std::uint32_t format;
    std::int32_t width;
    std::int32_t height;
    Bytes source;
    std::optional<std::uint32_t> palette_id;
  };
  const std::vector<TextureSeed> textures = {
      {"r8g8b8", kR8G8B8, 2, 2, noise(12, 10), std::nullopt},
      {"a8r8g8b8", kA8R8G8B8, 2, 2, noise(16, 11), std::nullopt},
      {"r5g6b5", kR5G6B5, 2, 1, noise(4, 12), std::nullopt},
      {"a8", kA8, 3, 1, noise(3, 13), std::nullopt},
      {"lscape_r8g8b8", kLscapeR8G8B8, 1, 2, noise(6, 14), std::nullopt},
      {"lscape_alpha", kLscapeAlpha, 2, 2, noise(4, 15), std::nullopt},
      {"p8", kP8, 2, 2, Bytes{0, 1, 2, 3}, 0x04000001},
      {"index16", kIndex16, 2, 1, Bytes{0, 0, 3, 0}, 0x04000001},
      {"dxt1", kDxt1, 8, 4, dxt_blocks(8, 2, 16), std::nullopt},
      {"dxt3", kDxt3, 5, 5, dxt_blocks(16, 4, 17), std::nullopt},
      {"dxt5", kDxt5, 4, 8, dxt_blocks(16, 2, 18), std::nullopt},
      {"other_format", 7, 1, 1, noise(4, 19), std::nullopt},
      {"negative_width", kR8G8B8, -1, 1, noise(3, 20), std::nullopt},
  };
  for (const auto& seed : textures) {
    out.add("texture_fuzzer", seed.name,
            dat::testing::texture(0x06000001, seed.width, seed.height, seed.format, seed.source, seed.palette_id));

    // The same texture for the conversion, with a four-colour palette; the palettised ones
    // once more with a failing provider and once without a palette id.
    const std::vector<std::uint32_t> colours = {0xFF102030, 0x80FF0000, 0x0000FF00, 0xFFFFFFFF};
    auto convert_input = [&](std::uint8_t flags) {
      ByteWriter w;
      w.u32(seed.format).i32(seed.width).i32(seed.height).u8(flags).u32(seed.palette_id.value_or(0));
      w.u16(static_cast<std::uint16_t>(colours.size()));
      for (const std::uint32_t colour : colours) w.u32(colour);
      return w.bytes(seed.source).take();
    };
    const std::uint8_t has_id = seed.palette_id ? dat::fuzz::kHasPaletteId : 0;
    out.add("to_rgba8_fuzzer", seed.name, convert_input(has_id));
    if (seed.palette_id) {
      out.add("to_rgba8_fuzzer", std::string(seed.name) + "_provider_fails",
              convert_input(has_id | dat::fuzz::kProviderFails));
      out.add("to_rgba8_fuzzer", std::string(seed.name) + "_no_palette_id", convert_input(0));
    }
  }
  out.add("texture_fuzzer", "negative_length", ByteWriter().u32(1).u32(0).i32(1).i32(1).u32(kA8).i32(-1).take());
  out.add("texture_fuzzer", "p8_missing_palette_id",
          truncated(dat::testing::texture(1, 1, 1, kP8, Bytes{0}, 0x04000001), 27));

  out.add("palette_fuzzer", "empty", dat::testing::palette(0x04000001, {}));
  out.add("palette_fuzzer", "four", dat::testing::palette(0x04000001, {0xFF000000, 0x80FFFFFF, 0x12345678, 0}));
  std::vector<std::uint32_t> ramp(256);
  for (std::uint32_t i = 0; i < ramp.size(); ++i) ramp[i] = 0xFF000000u | (i * 0x010101u);
  out.add("palette_fuzzer", "ramp_256", dat::testing::palette(0x04000002, ramp));
  out.add("palette_fuzzer", "count_too_large", truncated(dat::testing::palette(0x04000002, ramp), 100));
}

void lrs(SeedWriter& out) {
  const std::string t = "lrs_fuzzer";
  std::string repeats;
  for (int i = 0; i < 60; ++i) repeats += "surface texture palette ";
  Bytes far(6000);
  for (std::size_t i = 0; i < far.size(); ++i) far[i] = static_cast<std::uint8_t>((i % 4093) * 7);
  out.add(t, "empty_plain", dat::testing::compress_lrs({}));
  out.add(t, "short", dat::testing::compress_lrs(text("abc")));
  out.add(t, "repeats", dat::testing::compress_lrs(text(repeats)));
  out.add(t, "run", dat::testing::compress_lrs(Bytes(500, 0x41)));
  out.add(t, "far_references", dat::testing::compress_lrs(far));
  out.add(t, "incompressible", dat::testing::compress_lrs(noise(300, 30)));
  out.add(t, "record", dat::testing::compress_lrs(dat::testing::texture(1, 4, 4, kA8, Bytes(16, 0x7F))));
  out.add(t, "announces_more", ByteWriter().u32(100000).u8(0x10).bytes(text("abc")).u8(0x03).u8(0x0F).take());
}

void dxt(SeedWriter& out) {
  struct DxtSeed {
    const char* name;
    std::uint8_t format;  // 0 DXT1, 1 DXT3, 2 DXT5
    std::uint32_t width;
    std::uint32_t height;
    std::size_t blocks;
  };
  const std::vector<DxtSeed> seeds = {
      {"dxt1_4x4", 0, 4, 4, 1},   {"dxt1_8x8", 0, 8, 8, 4},     {"dxt1_5x5_short", 0, 5, 5, 3},
      {"dxt3_4x4", 1, 4, 4, 1},   {"dxt3_7x9", 1, 7, 9, 6},     {"dxt5_4x4", 2, 4, 4, 1},
      {"dxt5_16x4", 2, 16, 4, 4}, {"dxt5_1x1", 2, 1, 1, 1},     {"dxt1_empty_and_tall", 0, 0, 0xFFFFFFFF, 2},
  };
  for (const auto& seed : seeds) {
    const std::size_t block_size = seed.format == 0 ? 8 : 16;
    out.add("dxt_fuzzer", seed.name,
            ByteWriter()
                .u8(seed.format)
                .u32(seed.width)
                .u32(seed.height)
                .bytes(dxt_blocks(block_size, seed.blocks, seed.width * 31u + seed.height))
                .take());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUT_DIR\n");
    return 2;
  }
  SeedWriter out(argv[1]);
  archives(out);
  records(out);
  lrs(out);
  dxt(out);
  if (out.failed()) return 1;
  std::printf("make_fuzz_seeds: %zu seeds in %s\n", out.count(), argv[1]);
  return 0;
}
