#include "bench_content.h"

#include <algorithm>
#include <utility>

#include "record_writer.h"

namespace bench {
namespace {

using dat::testing::Random;

// A colour in 5:6:5 channel values.
struct Rgb565 {
  int r, g, b;
};

Rgb565 random_colour(Random& random) {
  return {static_cast<int>(random.below(32)), static_cast<int>(random.below(64)), static_cast<int>(random.below(32))};
}

// `base` moved by up to `spread` steps of 5-bit (twice that for the 6-bit green) per channel.
Rgb565 near(Rgb565 base, int spread, Random& random) {
  const auto step = [&](int v, int limit, int range) {
    return std::clamp(v + static_cast<int>(random.below(static_cast<std::uint32_t>(2 * range + 1))) - range, 0, limit);
  };
  return {step(base.r, 31, spread), step(base.g, 63, 2 * spread), step(base.b, 31, spread)};
}

std::uint16_t pack(Rgb565 c) { return static_cast<std::uint16_t>((c.r << 11) | (c.g << 5) | c.b); }

void put_u16(dat::Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(dat::Bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// One colour block: endpoints near the texture's two base colours, random indices. `dxt1`
// makes about one block in ten a three-colour block (colour 0 <= colour 1), whose index 3
// is transparent black; the others keep colour 0 > colour 1.
void put_colour_block(dat::Bytes& out, Rgb565 a, Rgb565 b, bool dxt1, Random& random) {
  std::uint16_t c0 = pack(near(a, 3, random));
  std::uint16_t c1 = pack(near(random.below(4) == 0 ? a : b, 3, random));
  if (dxt1) {
    const bool three_colour = random.below(10) == 0;
    if ((c0 > c1) == three_colour) std::swap(c0, c1);
  }
  put_u16(out, c0);
  put_u16(out, c1);
  put_u32(out, static_cast<std::uint32_t>(random.next()));
}

// DXT3: mostly opaque nibbles (8 to 15, alpha 136 to 255); one block in five fully random.
void put_dxt3_alpha(dat::Bytes& out, Random& random) {
  const bool mixed = random.below(5) == 0;
  for (int i = 0; i < 8; ++i) {
    const auto lo = static_cast<std::uint8_t>(mixed ? random.below(16) : 8 + random.below(8));
    const auto hi = static_cast<std::uint8_t>(mixed ? random.below(16) : 8 + random.below(8));
    out.push_back(static_cast<std::uint8_t>(lo | (hi << 4)));
  }
}

// DXT5: mostly an eight-value ramp between two high alphas; some six-value blocks (whose
// table holds 0 and 255) and some fully random ones.
void put_dxt5_alpha(dat::Bytes& out, Random& random) {
  const std::uint32_t pick = random.below(10);
  std::uint8_t a0, a1;
  if (pick < 7) {
    a0 = 255;
    a1 = static_cast<std::uint8_t>(160 + random.below(90));
  } else if (pick < 9) {
    a0 = static_cast<std::uint8_t>(random.below(128));
    a1 = static_cast<std::uint8_t>(128 + random.below(128));
  } else {
    a0 = random.byte();
    a1 = random.byte();
  }
  out.push_back(a0);
  out.push_back(a1);
  const std::uint64_t indices = random.next();
  for (int i = 0; i < 6; ++i) out.push_back(static_cast<std::uint8_t>(indices >> (8 * i)));
}

}  // namespace

std::uint32_t format_raw(TextureKind kind) {
  using namespace dat::testing::format_id;
  switch (kind) {
    case TextureKind::Dxt1:
      return kDxt1;
    case TextureKind::Dxt3:
      return kDxt3;
    case TextureKind::Dxt5:
      return kDxt5;
    case TextureKind::P8:
      return kP8;
    case TextureKind::R8G8B8:
      return kR8G8B8;
    case TextureKind::A8R8G8B8:
      return kA8R8G8B8;
  }
  return 0;
}

dat::Bytes texture_pixels(TextureKind kind, std::uint32_t width, std::uint32_t height, Random& random) {
  const Rgb565 a = random_colour(random);
  const Rgb565 b = random_colour(random);
  const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
  const std::size_t pixels = std::size_t{width} * height;
  dat::Bytes out;
  switch (kind) {
    case TextureKind::Dxt1:
      out.reserve(8 * blocks);
      for (std::size_t i = 0; i < blocks; ++i) put_colour_block(out, a, b, true, random);
      break;
    case TextureKind::Dxt3:
      out.reserve(16 * blocks);
      for (std::size_t i = 0; i < blocks; ++i) {
        put_dxt3_alpha(out, random);
        put_colour_block(out, a, b, false, random);
      }
      break;
    case TextureKind::Dxt5:
      out.reserve(16 * blocks);
      for (std::size_t i = 0; i < blocks; ++i) {
        put_dxt5_alpha(out, random);
        put_colour_block(out, a, b, false, random);
      }
      break;
    case TextureKind::P8:
      // Runs of nearby indices, as a palettised picture has.
      out.resize(pixels);
      for (std::size_t i = 0; i < pixels; ++i) {
        out[i] = static_cast<std::uint8_t>((i / 64) * 37 + random.below(24));
      }
      break;
    case TextureKind::R8G8B8:
    case TextureKind::A8R8G8B8: {
      const bool alpha = kind == TextureKind::A8R8G8B8;
      out.reserve(pixels * (alpha ? 4 : 3));
      for (std::size_t i = 0; i < pixels; ++i) {
        const Rgb565 c = near(random.below(3) == 0 ? b : a, 2, random);
        // Stored blue, green, red (then alpha).
        out.push_back(static_cast<std::uint8_t>(c.b * 8 + random.below(8)));
        out.push_back(static_cast<std::uint8_t>(c.g * 4 + random.below(4)));
        out.push_back(static_cast<std::uint8_t>(c.r * 8 + random.below(8)));
        if (alpha) out.push_back(random.below(8) == 0 ? random.byte() : 255);
      }
      break;
    }
  }
  return out;
}

std::vector<std::uint32_t> palette_colours(Random& random) {
  const Rgb565 base = random_colour(random);
  std::vector<std::uint32_t> colours(256);
  for (std::uint32_t& colour : colours) {
    const Rgb565 c = near(base, 4, random);
    const std::uint32_t alpha = random.below(20) == 0 ? random.below(128) : 255;
    colour = (alpha << 24) | (std::uint32_t(c.r * 8 + random.below(8)) << 16) |
             (std::uint32_t(c.g * 4 + random.below(4)) << 8) | std::uint32_t(c.b * 8 + random.below(8));
  }
  return colours;
}

}  // namespace bench
