#include "huemark/dominant_colour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <expected>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace huemark {
namespace {

struct Case {
  std::string name;
  std::vector<std::uint8_t> rgba;
  Rgb expected;
};

class DominantColour : public testing::TestWithParam<Case> {};

TEST_P(DominantColour, PicksTheFullestBucketsAverage) {
  EXPECT_EQ(dominant_colour(GetParam().rgba), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DominantColour,
    testing::ValuesIn(std::vector<Case>{
        {"Empty", {}, {128, 128, 128}},
        {"ShorterThanAPixel", {1, 2, 3}, {128, 128, 128}},
        {"AllBelowHalfOpaque", {200, 0, 0, 127, 0, 200, 0, 127}, {128, 128, 128}},
        {"AlphaOf128Counts", {200, 100, 50, 128}, {200, 100, 50}},
        {"OnePixel", {200, 100, 50, 255}, {200, 100, 50}},
        {"AverageRoundsDown", {16, 0, 0, 255, 17, 0, 0, 255}, {16, 0, 0}},
        {"HigherIndexWinsATie", {0, 0, 240, 255, 16, 0, 0, 255}, {16, 0, 0}},
        {"TieOrderDoesNotMatter", {16, 0, 0, 255, 0, 0, 240, 255}, {16, 0, 0}},
        {"CountBeatsBrightness", {10, 10, 10, 255, 250, 250, 250, 255, 10, 10, 10, 255}, {10, 10, 10}},
        {"StrayTrailingByteIgnored", {16, 0, 0, 255, 17, 0, 0, 255, 9}, {16, 0, 0}},
        {"TransparentPixelsDoNotVote", {5, 5, 5, 0, 5, 5, 5, 0, 250, 0, 0, 255}, {250, 0, 0}},
        {"WhiteIsTheLastBucket", {255, 255, 255, 255, 0, 0, 0, 255}, {255, 255, 255}},
    }),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(DominantColourLarge, SumsDoNotOverflowOnBigImages) {
  // 2^20 pixels of 255 in one bucket: the sums exceed 32 bits.
  std::vector<std::uint8_t> rgba(4u << 20, 255);
  EXPECT_EQ(dominant_colour(rgba), (Rgb{255, 255, 255}));
}

// The rules in their plainest form, one full pass over fresh tables, for the comparisons below.
Rgb reference_dominant(const std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint64_t> count(4096), r(4096), g(4096), b(4096);
  for (std::size_t k = 0; k + 4 <= rgba.size(); k += 4) {
    if (rgba[k + 3] < 128) continue;
    const std::size_t bucket = (rgba[k] >> 4) * 256 + (rgba[k + 1] >> 4) * 16 + (rgba[k + 2] >> 4);
    ++count[bucket];
    r[bucket] += rgba[k];
    g[bucket] += rgba[k + 1];
    b[bucket] += rgba[k + 2];
  }
  std::size_t best = 0;
  for (std::size_t i = 1; i < 4096; ++i) best = count[i] >= count[best] ? i : best;
  if (count[best] == 0) return {128, 128, 128};
  return {static_cast<std::uint8_t>(r[best] / count[best]), static_cast<std::uint8_t>(g[best] / count[best]),
          static_cast<std::uint8_t>(b[best] / count[best])};
}

constexpr std::uint32_t kDxtFormats[] = {0x31545844, 0x33545844, 0x35545844};  // DXT1, DXT3, DXT5

dat::Texture texture(std::uint32_t format, std::int32_t width, std::int32_t height, dat::Bytes data) {
  dat::Texture t;
  t.width = width;
  t.height = height;
  t.format_raw = format;
  t.length = static_cast<std::int32_t>(data.size());
  t.source_data = std::move(data);
  return t;
}

std::expected<dat::Palette, std::string> no_palette(std::uint32_t) { return std::unexpected("not asked"); }

// Blocks whose values sit where the rules turn: DXT1 colour pairs in either order and
// equal (three-colour blocks, transparent black), DXT3 nibbles 7 and 8 (alpha 119 and
// 136), DXT5 endpoints around 128 in both table modes (whose 0 and 255 entries), and
// endpoints from a handful of colours so that buckets fill up and tie.
dat::Bytes edgy_blocks(std::uint32_t format, std::size_t blocks, std::mt19937_64& random) {
  const std::uint16_t colours[] = {0x0000, 0xFFFF, 0x8410, 0x07E0, 0xF800, 0x001F, 0x8411, 0x7BEF};
  const std::uint8_t alphas[] = {0, 1, 126, 127, 128, 129, 254, 255};
  const auto pick_colour = [&] {
    return random() % 3 == 0 ? static_cast<std::uint16_t>(random()) : colours[random() % std::size(colours)];
  };
  dat::Bytes out;
  for (std::size_t i = 0; i < blocks; ++i) {
    if (format == kDxtFormats[1]) {
      for (int k = 0; k < 8; ++k) out.push_back(random() % 2 == 0 ? 0x87 : static_cast<std::uint8_t>(random()));
    } else if (format == kDxtFormats[2]) {
      out.push_back(alphas[random() % std::size(alphas)]);
      out.push_back(alphas[random() % std::size(alphas)]);
      for (int k = 0; k < 6; ++k) out.push_back(static_cast<std::uint8_t>(random()));
    }
    const std::uint16_t c0 = pick_colour();
    const std::uint16_t c1 = random() % 4 == 0 ? c0 : pick_colour();
    const std::uint32_t indices = random() % 4 == 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(random());
    for (const std::uint32_t word : {std::uint32_t{c0} | (std::uint32_t{c1} << 16), indices}) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(word >> (8 * k)));
    }
  }
  return out;
}

// Counting from the block tables must give exactly what decoding and then counting gives:
// every size from 1 x 1 to 13 x 13 (edge blocks of every shape) and some larger, with whole,
// short, empty and overlong data.
TEST(DominantColourOfTexture, BlockKindsMatchDecodingFirst) {
  std::mt19937_64 random(1234);
  std::vector<std::pair<std::int32_t, std::int32_t>> sizes;
  for (std::int32_t w = 1; w <= 13; ++w) {
    for (std::int32_t h = 1; h <= 13; ++h) sizes.emplace_back(w, h);
  }
  sizes.insert(sizes.end(), {{64, 64}, {100, 37}, {256, 8}, {1, 300}, {129, 129}});
  for (const std::uint32_t format : kDxtFormats) {
    const std::size_t block_size = format == kDxtFormats[0] ? 8 : 16;
    for (const auto& [w, h] : sizes) {
      const std::size_t blocks = std::size_t((w + 3) / 4) * ((h + 3) / 4);
      for (int variant = 0; variant < 4; ++variant) {
        dat::Bytes data = edgy_blocks(format, blocks + 1, random);
        switch (variant) {
          case 0:  // exactly the blocks the image needs
            data.resize(blocks * block_size);
            break;
          case 1:  // stops part-way, perhaps inside a block
            data.resize(random() % (blocks * block_size));
            break;
          case 2:  // nothing at all
            data.clear();
            break;
          default:  // a block to spare, which is ignored
            break;
        }
        SCOPED_TRACE(::testing::Message() << std::hex << format << std::dec << " " << w << "x" << h << " variant "
                                          << variant);
        const dat::Texture t = texture(format, w, h, data);
        const auto rgba = t.to_rgba8(no_palette);
        ASSERT_TRUE(rgba.has_value());
        const auto counted = dominant_colour_of_texture(t, no_palette);
        ASSERT_TRUE(counted.has_value());
        EXPECT_EQ(*counted, reference_dominant(*rgba));
        EXPECT_EQ(*counted, dominant_colour(*rgba));
      }
    }
  }
}

// Palettised textures: counted per entry (P8) or looked up per pixel (Index16), against the
// decoded image, with palettes that are empty, short or long, alphas either side of 128,
// indices beyond the palette, short data and failing providers.
TEST(DominantColourOfTexture, PalettisedKindsMatchDecodingFirst) {
  std::mt19937_64 random(99);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE(round);
    const bool wide = round % 2 == 1;
    const auto w = static_cast<std::int32_t>(random() % 20);
    const auto h = static_cast<std::int32_t>(random() % 20);
    const std::size_t entries = round % 7 == 0 ? 0 : random() % 300;
    std::vector<std::uint32_t> colours(entries);
    for (std::uint32_t& c : colours) {
      const std::uint32_t alphas[] = {0, 127, 128, 255, static_cast<std::uint32_t>(random() & 0xFF)};
      c = (alphas[random() % 5] << 24) | static_cast<std::uint32_t>(random() & 0xF0F0F0);
    }
    // Indices mostly inside the palette; now and then one beyond it.
    const std::size_t in_range = std::max<std::size_t>(entries, 1);
    dat::Bytes data;
    for (std::int32_t i = 0; i < w * h; ++i) {
      const std::size_t index = random() % 500 == 0 ? random() % 70000 : random() % in_range;
      data.push_back(static_cast<std::uint8_t>(index));
      if (wide) data.push_back(static_cast<std::uint8_t>(index >> 8));
    }
    if (round % 9 == 0 && !data.empty()) data.pop_back();  // one byte short
    dat::Texture t = texture(wide ? 101 : 41, w, h, data);
    if (round % 11 != 0) t.default_palette_id = 0x04000001;

    int asked_decoding = 0;
    int asked_counting = 0;
    const bool fetch_fails = round % 13 == 0;
    const auto provider = [&](int& asked) {
      return [&, fetch_fails](std::uint32_t) -> std::expected<dat::Palette, std::string> {
        ++asked;
        if (fetch_fails) return std::unexpected("no such palette");
        return dat::Palette{0x04000001, colours};
      };
    };
    const auto rgba = t.to_rgba8(provider(asked_decoding));
    const auto counted = dominant_colour_of_texture(t, provider(asked_counting));
    EXPECT_EQ(asked_counting, asked_decoding);
    ASSERT_EQ(counted.has_value(), rgba.has_value());
    if (rgba) {
      EXPECT_EQ(*counted, reference_dominant(*rgba));
    } else {
      EXPECT_EQ(counted.error().debug(), rgba.error().debug());
    }
  }
}

// Refusals come from the same checks in the same order, and other kinds go through to_rgba8.
TEST(DominantColourOfTexture, FailsAsToRgba8Fails) {
  const dat::Bytes opaque_red = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
  struct Case {
    std::string name;
    dat::Texture texture;
  };
  const Case cases[] = {
      {"Dxt1MinusOneByTwoOverflows", texture(kDxtFormats[0], -1, 2, {})},
      {"Dxt3MinusOneByOneTooLarge", texture(kDxtFormats[1], -1, 1, {})},
      {"Dxt5OneRowOverTheLimit", texture(kDxtFormats[2], 16384, 16385, {})},
      {"Dxt1MinusOneByZeroIsEmpty", texture(kDxtFormats[0], -1, 0, opaque_red)},
      {"Dxt1OneBlock", texture(kDxtFormats[0], 4, 4, opaque_red)},
      {"R5G6B5Unsupported", texture(23, 1, 1, {0, 0})},
      {"R8G8B8", texture(20, 2, 1, {1, 2, 3, 4, 5, 6})},
      {"R8G8B8Short", texture(20, 2, 1, {1, 2, 3, 4, 5})},
      {"P8AsksForItsPalette", [] {
         dat::Texture t = texture(41, 1, 1, {0});
         t.default_palette_id = 0x04000001;
         return t;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto rgba = c.texture.to_rgba8(no_palette);
    const auto counted = dominant_colour_of_texture(c.texture, no_palette);
    ASSERT_EQ(counted.has_value(), rgba.has_value());
    if (rgba) {
      EXPECT_EQ(*counted, dominant_colour(*rgba));
    } else {
      EXPECT_EQ(counted.error().debug(), rgba.error().debug());
    }
  }
}

}  // namespace
}  // namespace huemark
