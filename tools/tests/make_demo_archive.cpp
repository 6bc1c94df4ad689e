// Writes the small demo archive that `scripts/demo` runs huemark on: solid surfaces around
// the colour wheel, textured surfaces in the direct, palettised and block-compressed
// formats, and a few damaged surfaces that the run counts as errors.
//
//   make_demo_archive OUT.dat

#include <cmath>
#include <cstdio>
#include <string>

#include <fmt/format.h>

#include "archive_writer.h"
#include "record_writer.h"

namespace {

using dat::Bytes;
using dat::testing::ArchiveBuilder;
using dat::testing::ByteWriter;

struct Rgb8 {
  std::uint8_t r, g, b;
};

// A fully saturated colour at `hue` degrees, `value` from 0 to 1.
Rgb8 hue_colour(double hue, double value) {
  const double h = std::fmod(hue, 360.0) / 60.0;
  const double x = value * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0: r = value, g = x; break;
    case 1: r = x, g = value; break;
    case 2: g = value, b = x; break;
    case 3: g = x, b = value; break;
    case 4: r = x, b = value; break;
    default: r = value, b = x; break;
  }
  auto byte = [](double v) { return static_cast<std::uint8_t>(std::lround(v * 255.0)); };
  return {byte(r), byte(g), byte(b)};
}

std::uint16_t rgb565(Rgb8 c) {
  return static_cast<std::uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
}

// A DXT1 texture of `size` x `size` whose blocks blend two colours.
Bytes dxt1_pixels(std::uint32_t size, Rgb8 a, Rgb8 b) {
  ByteWriter w;
  const std::uint32_t blocks = (size + 3) / 4;
  for (std::uint32_t i = 0; i < blocks * blocks; ++i) {
    std::uint16_t c0 = rgb565(a), c1 = rgb565(b);
    if (c0 <= c1) std::swap(c0, c1), c0 = static_cast<std::uint16_t>(c0 | 0x0001);  // keep four-colour mode
    w.u16(c0).u16(c1).u32(i % 3 == 0 ? 0x00000000u : 0x5A5A5AA5u);
  }
  return w.take();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_archive OUT.dat\n");
    return 2;
  }
  using namespace dat::testing::format_id;

  ArchiveBuilder builder({.block_size = 1024, .max_entries_per_node = 20, .placement = dat::testing::Placement::scatter(2024)});
  std::uint32_t surface = 0x08000001;

  // 72 solid surfaces around the colour wheel, in three shades.
  for (int i = 0; i < 72; ++i) {
    const Rgb8 c = hue_colour(i * 15.0, i % 3 == 0 ? 1.0 : i % 3 == 1 ? 0.75 : 0.5);
    builder.add_file(surface++, dat::testing::solid_surface(0xFF000000u | (c.r << 16) | (c.g << 8) | c.b),
                     {.compressed = i % 5 == 0});
  }

  // Textured surfaces: DXT1 blends, palettised stone, direct-colour wood.
  std::uint32_t texture_id = 0x06000001;
  auto add_textured = [&](Bytes texture_bytes, std::uint32_t palette_id = 0, bool compressed = false) {
    const std::uint32_t mips = 0x05000000 | (surface & 0xFFFF);
    builder.add_file(texture_id, std::move(texture_bytes), {.compressed = compressed});
    builder.add_file(mips, dat::testing::surface_texture(mips, {texture_id}));
    builder.add_file(surface++, dat::testing::textured_surface(mips, palette_id));
    ++texture_id;
  };
  for (int i = 0; i < 36; ++i) {
    const Rgb8 a = hue_colour(i * 10.0 + 5.0, 0.9);
    const Rgb8 b = hue_colour(i * 10.0 + 40.0, 0.4);
    add_textured(dat::testing::texture(texture_id, 64, 64, kDxt1, dxt1_pixels(64, a, b)));
  }
  for (std::uint32_t p = 0; p < 6; ++p) {
    std::vector<std::uint32_t> colours;
    for (std::uint32_t k = 0; k < 16; ++k) {
      const std::uint32_t grey = 60 + p * 25 + k * 3;
      colours.push_back(0xFF000000u | (grey << 16) | ((grey - 10) << 8) | (grey - 20));
    }
    const std::uint32_t palette_id = 0x04000001 + p;
    builder.add_file(palette_id, dat::testing::palette(palette_id, colours));
    Bytes indices(32 * 32);
    for (std::size_t k = 0; k < indices.size(); ++k) indices[k] = static_cast<std::uint8_t>((k * 7 + k / 32) % 16);
    add_textured(dat::testing::texture(texture_id, 32, 32, kP8, indices, palette_id), 0, p % 2 == 0);
  }
  for (int i = 0; i < 6; ++i) {
    Bytes pixels;
    for (int k = 0; k < 16 * 16; ++k) {
      const int shade = 90 + i * 12 + (k % 16);
      pixels.insert(pixels.end(), {static_cast<std::uint8_t>(shade / 3), static_cast<std::uint8_t>(shade / 2),
                                   static_cast<std::uint8_t>(shade)});
    }
    add_textured(dat::testing::texture(texture_id, 16, 16, kR8G8B8, pixels));
  }

  // Three surfaces that fail: a missing texture list, a truncated record, an unknown format.
  builder.add_file(surface++, dat::testing::textured_surface(0x05DEAD01, 0));
  builder.add_file(surface++, Bytes(10, 0));
  add_textured(dat::testing::texture(texture_id, 4, 4, 7, Bytes(16, 0)));

  if (auto written = builder.write_file(argv[1]); !written) {
    std::fprintf(stderr, "make_demo_archive: %s\n", written.error().c_str());
    return 1;
  }
  return 0;
}
