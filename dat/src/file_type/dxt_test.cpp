#include "file_type/dxt.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>

#include "file_type/dxt_block.h"

// Known answers come from the decoder's documented arithmetic (the endpoint expansion, the
// interpolation and alpha tables and the edge-block rules) unless a comment says otherwise.

namespace dat {
namespace {

static_assert(dxt::expand5(20) == 164 && dxt::expand5(25) == 205 && dxt::expand5(29) == 238);
static_assert(dxt::expand5(3) == 25 && dxt::expand6(53) == 214);
static_assert(dxt::expand5(0) == 0 && dxt::expand5(31) == 255 && dxt::expand6(0) == 0 && dxt::expand6(63) == 255);

// A pixel as ints, so failures print numbers rather than characters.
using Px = std::array<int, 4>;

constexpr Px kTransparentBlack{0, 0, 0, 0};

Px pixel(const Bytes& image, std::uint32_t width, std::uint32_t x, std::uint32_t y) {
  const std::size_t at = 4 * (std::size_t{y} * width + x);
  return {image.at(at), image.at(at + 1), image.at(at + 2), image.at(at + 3)};
}

// A 5:6:5 colour from its three fields.
constexpr std::uint16_t rgb565(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint16_t>((r << 11) | (g << 5) | b);
}

// A 2-bit colour index word from the indices of texels 0 to 15.
constexpr std::uint32_t color_indices(const std::array<unsigned, 16>& index) {
  std::uint32_t word = 0;
  for (unsigned p = 0; p < 16; ++p) word |= std::uint32_t{index[p]} << (2 * p);
  return word;
}
// Every texel's colour index set to i.
constexpr std::uint32_t all_color(unsigned i) { return i * 0x55555555u; }

// A 3-bit DXT5 alpha index word from the indices of texels 0 to 15.
constexpr std::uint64_t alpha_indices(const std::array<unsigned, 16>& index) {
  std::uint64_t word = 0;
  for (unsigned p = 0; p < 16; ++p) word |= std::uint64_t{index[p]} << (3 * p);
  return word;
}

// Texel p takes index p mod 4 (colour) or p mod 8 (DXT5 alpha): every index appears, in a
// pattern that crosses the byte boundaries of the index words.
constexpr std::array<unsigned, 16> kMod4{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
constexpr std::array<unsigned, 16> kMod8{0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};

void put_le(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Appends a colour block (all of DXT1, the second half of DXT3 and DXT5).
void put_color_block(Bytes& out, std::uint16_t c0, std::uint16_t c1, std::uint32_t indices) {
  put_le(out, c0, 2);       // colour 0
  put_le(out, c1, 2);       // colour 1
  put_le(out, indices, 4);  // 2 bits per texel
}
// Appends a DXT3 alpha half: texel p's 4-bit value in bits 4p to 4p + 3 of `nibbles`, which
// is byte p / 2, low nibble for even p, once stored little-endian.
void put_dxt3_alpha(Bytes& out, std::uint64_t nibbles) { put_le(out, nibbles, 8); }
// Appends a DXT5 alpha half.
void put_dxt5_alpha(Bytes& out, std::uint8_t a0, std::uint8_t a1, std::uint64_t indices) {
  out.push_back(a0);        // alpha 0
  out.push_back(a1);        // alpha 1
  put_le(out, indices, 6);  // 3 bits per texel
}

Bytes dxt1_block(std::uint16_t c0, std::uint16_t c1, std::uint32_t indices) {
  Bytes out;
  put_color_block(out, c0, c1, indices);
  return out;
}

// --- Expansion and the block pieces -------------------------------------------------------

// v * 255 / max rounded to nearest, except at the four inputs where the formula departs from it.
TEST(DxtBlockTest, ExpansionIsRoundingExceptAtTheListedValues) {
  for (unsigned v = 0; v < 32; ++v) {
    int expected = static_cast<int>(std::lround(v * 255.0 / 31.0));
    if (v == 20 || v == 25 || v == 29) --expected;
    EXPECT_EQ(dxt::expand5(v), expected) << "5-bit " << v;
  }
  for (unsigned v = 0; v < 64; ++v) {
    int expected = static_cast<int>(std::lround(v * 255.0 / 63.0));
    if (v == 53) --expected;
    EXPECT_EQ(dxt::expand6(v), expected) << "6-bit " << v;
  }
}

TEST(DxtBlockTest, ColorBlockTablesAndIndices) {
  const Bytes bytes = dxt1_block(0x0000, 0xFFFF, color_indices(kMod4));
  const dxt::ColorBlockBytes view(bytes.data(), 8);

  const dxt::ColorBlock four = dxt::decode_color_block(view, dxt::ColorRule::FourColor);
  EXPECT_EQ(four.table[0], (dxt::Rgba{0, 0, 0, 255}));
  EXPECT_EQ(four.table[1], (dxt::Rgba{255, 255, 255, 255}));
  EXPECT_EQ(four.table[2], (dxt::Rgba{85, 85, 85, 255}));
  EXPECT_EQ(four.table[3], (dxt::Rgba{170, 170, 170, 255}));

  const dxt::ColorBlock three = dxt::decode_color_block(view, dxt::ColorRule::Dxt1);
  EXPECT_EQ(three.table[2], (dxt::Rgba{127, 127, 127, 255}));  // (0 + 255) div 2
  EXPECT_EQ(three.table[3], (dxt::Rgba{0, 0, 0, 0}));

  for (unsigned p = 0; p < 16; ++p) EXPECT_EQ(three.index(p), p % 4) << "texel " << p;
}

TEST(DxtBlockTest, Dxt5AlphaTableAndIndices) {
  Bytes bytes;
  put_dxt5_alpha(bytes, 255, 0, alpha_indices(kMod8));
  const dxt::Dxt5Alpha alpha = dxt::decode_dxt5_alpha(dxt::AlphaBlockBytes(bytes.data(), 8));
  EXPECT_EQ(alpha.table, (std::array<std::uint8_t, 8>{255, 0, 218, 182, 145, 109, 72, 36}));
  for (unsigned p = 0; p < 16; ++p) EXPECT_EQ(alpha.index(p), p % 8) << "texel " << p;
}

// --- DXT1 known answers ---------------------------------------------------------------------

TEST(Dxt1Test, WhiteOverBlackSelectsFourColorTable) {
  const Bytes image = decompress_dxt1(dxt1_block(0xFFFF, 0x0000, color_indices(kMod4)), 4, 4);
  ASSERT_EQ(image.size(), 64u);
  const std::array<Px, 4> table{Px{255, 255, 255, 255}, Px{0, 0, 0, 255}, Px{170, 170, 170, 255},
                                Px{85, 85, 85, 255}};
  for (std::uint32_t y = 0; y < 4; ++y) {
    for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(pixel(image, 4, x, y), table[x]) << x << "," << y;
  }
}

TEST(Dxt1Test, EqualColorsSelectThreeColorTable) {
  const std::uint16_t c = rgb565(20, 53, 3);  // expands to (164, 214, 25)
  const Bytes image = decompress_dxt1(dxt1_block(c, c, color_indices(kMod4)), 4, 4);
  EXPECT_EQ(pixel(image, 4, 0, 0), (Px{164, 214, 25, 255}));
  EXPECT_EQ(pixel(image, 4, 1, 0), (Px{164, 214, 25, 255}));
  EXPECT_EQ(pixel(image, 4, 2, 0), (Px{164, 214, 25, 255}));  // (C0 + C1) div 2 = C0
  EXPECT_EQ(pixel(image, 4, 3, 0), kTransparentBlack);
}

TEST(Dxt1Test, SmallerColorZeroSelectsThreeColorTable) {
  // Raw 0x001F (blue) < 0xF800 (red): three colours, though neither expands "larger".
  const Bytes image = decompress_dxt1(dxt1_block(0x001F, 0xF800, color_indices(kMod4)), 4, 1);
  EXPECT_EQ(pixel(image, 4, 0, 0), (Px{0, 0, 255, 255}));
  EXPECT_EQ(pixel(image, 4, 1, 0), (Px{255, 0, 0, 255}));
  EXPECT_EQ(pixel(image, 4, 2, 0), (Px{127, 0, 127, 255}));
  EXPECT_EQ(pixel(image, 4, 3, 0), kTransparentBlack);
}

TEST(Dxt1Test, RawComparisonDecidesNotExpandedColors) {
  // 0xF800 (red) > 0x07FF (green + blue) as raw values: four colours.
  const Bytes image = decompress_dxt1(dxt1_block(0xF800, 0x07FF, color_indices(kMod4)), 4, 1);
  EXPECT_EQ(pixel(image, 4, 2, 0), (Px{170, 85, 85, 255}));
  EXPECT_EQ(pixel(image, 4, 3, 0), (Px{85, 170, 170, 255}));
}

struct ExpansionCase {
  std::string name;
  std::uint16_t color;
  Px expected;
};

class Dxt1ExpansionTest : public ::testing::TestWithParam<ExpansionCase> {};

TEST_P(Dxt1ExpansionTest, ColorZeroExpands) {
  // Colour 1 is 0, so colour 0 > colour 1 and index 0 is colour 0 alone.
  const Bytes image = decompress_dxt1(dxt1_block(GetParam().color, 0x0000, all_color(0)), 1, 1);
  ASSERT_EQ(image.size(), 4u);
  EXPECT_EQ(pixel(image, 1, 0, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Dxt1ExpansionTest,
                         ::testing::Values(ExpansionCase{"Red20", rgb565(20, 0, 0), {164, 0, 0, 255}},
                                         ExpansionCase{"Red25", rgb565(25, 0, 0), {205, 0, 0, 255}},
                                         ExpansionCase{"Red29", rgb565(29, 0, 0), {238, 0, 0, 255}},
                                         ExpansionCase{"Red3", rgb565(3, 0, 0), {25, 0, 0, 255}},
                                         ExpansionCase{"Red31", rgb565(31, 0, 0), {255, 0, 0, 255}},
                                         ExpansionCase{"Blue20", rgb565(0, 0, 20), {0, 0, 164, 255}},
                                         ExpansionCase{"Blue25", rgb565(0, 0, 25), {0, 0, 205, 255}},
                                         ExpansionCase{"Blue29", rgb565(0, 0, 29), {0, 0, 238, 255}},
                                         ExpansionCase{"Blue3", rgb565(0, 0, 3), {0, 0, 25, 255}},
                                         ExpansionCase{"Green53", rgb565(0, 53, 0), {0, 214, 0, 255}},
                                         ExpansionCase{"Green63", rgb565(0, 63, 0), {0, 255, 0, 255}},
                                         ExpansionCase{"Green1", rgb565(0, 1, 0), {0, 4, 0, 255}}),
                         [](const ::testing::TestParamInfo<ExpansionCase>& info) { return info.param.name; });

// --- DXT3 and DXT5 known answers -----------------------------------------------------------

TEST(Dxt3Test, AlphaNibblesInTexelOrder) {
  // Texel p's nibble is p: byte p / 2 holds texels p (low) and p + 1 (high).
  Bytes data;
  put_dxt3_alpha(data, 0xFEDCBA9876543210);
  put_color_block(data, 0xFFFF, 0x0000, all_color(0));
  const Bytes image = decompress_dxt3(data, 4, 4);
  for (unsigned p = 0; p < 16; ++p) {
    const int a = static_cast<int>(p * 17);
    EXPECT_EQ(pixel(image, 4, p % 4, p / 4), (Px{255, 255, 255, a})) << "texel " << p;
  }
  EXPECT_EQ(pixel(image, 4, 0, 2)[3], 136);  // nibble 0x8
  EXPECT_EQ(pixel(image, 4, 3, 3)[3], 255);  // nibble 0xF
}

// Colour halves whose colour 0 is not greater than colour 1, with the grey levels that the
// four-colour table gives for indices 0 to 3. The three-colour table would differ at index 2
// of the first and index 3 of both.
struct GreyCase {
  std::uint16_t c0;
  std::uint16_t c1;
  std::array<int, 4> levels;
};
constexpr std::array<GreyCase, 2> kNotGreaterCases{{
    {0x0000, 0xFFFF, {0, 255, 85, 170}},     // C0 < C1: (2*0 + 255) div 3, (0 + 2*255) div 3
    {0xFFFF, 0xFFFF, {255, 255, 255, 255}},  // C0 = C1
}};

TEST(Dxt3Test, FourColorTableWhateverTheColorOrder) {
  for (const GreyCase& c : kNotGreaterCases) {
    SCOPED_TRACE(c.c0);
    Bytes data;
    put_dxt3_alpha(data, 0x0000000000008421);  // texels 0 to 3: 1, 2, 4, 8; the rest 0
    put_color_block(data, c.c0, c.c1, color_indices(kMod4));
    const Bytes image = decompress_dxt3(data, 4, 4);
    const std::array<int, 4> alpha{17, 34, 68, 136};
    for (std::uint32_t x = 0; x < 4; ++x) {
      const int v = c.levels[x];
      EXPECT_EQ(pixel(image, 4, x, 0), (Px{v, v, v, alpha[x]})) << "index " << x;
      EXPECT_EQ(pixel(image, 4, x, 1), (Px{v, v, v, 0})) << "index " << x;
    }
  }
}

TEST(Dxt5Test, AlphaTablesOfBothModes) {
  struct Case {
    const char* name;
    std::uint8_t a0;
    std::uint8_t a1;
    std::array<int, 8> expected;  // alpha of indices 0 to 7
  };
  const Case cases[] = {
      {"EightValueMode", 255, 0, {255, 0, 218, 182, 145, 109, 72, 36}},
      {"SixValueMode", 0, 255, {0, 255, 51, 102, 153, 204, 0, 255}},
      {"EqualAlphasSelectSixValueMode", 100, 100, {100, 100, 100, 100, 100, 100, 0, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes data;
    put_dxt5_alpha(data, c.a0, c.a1, alpha_indices(kMod8));
    put_color_block(data, 0xFFFF, 0x0000, all_color(0));
    const Bytes image = decompress_dxt5(data, 4, 4);
    for (unsigned p = 0; p < 16; ++p) {
      EXPECT_EQ(pixel(image, 4, p % 4, p / 4), (Px{255, 255, 255, c.expected[p % 8]})) << "texel " << p;
    }
  }
}

TEST(Dxt5Test, FourColorTableWhateverTheColorOrder) {
  for (const GreyCase& c : kNotGreaterCases) {
    SCOPED_TRACE(c.c0);
    Bytes data;
    put_dxt5_alpha(data, 200, 100, alpha_indices(kMod4));  // eight-value mode: 200, 100, 185, 171
    put_color_block(data, c.c0, c.c1, color_indices(kMod4));
    const Bytes image = decompress_dxt5(data, 4, 1);
    const std::array<int, 4> alpha{200, 100, 185, 171};
    for (std::uint32_t x = 0; x < 4; ++x) {
      const int v = c.levels[x];
      EXPECT_EQ(pixel(image, 4, x, 0), (Px{v, v, v, alpha[x]})) << "index " << x;
    }
  }
}

// --- Image geometry and data length ---------------------------------------------------------

TEST(Dxt1Test, OneByOneWritesOnlyTexelZero) {
  // Texel 0 takes index 0 (white); all others index 1 (black).
  const Bytes image = decompress_dxt1(dxt1_block(0xFFFF, 0x0000, all_color(1) & ~0x3u), 1, 1);
  EXPECT_EQ(image, (Bytes{255, 255, 255, 255}));
}

// Four blocks of a 5 x 5 image, each a single colour (index 0 everywhere).
constexpr std::array<std::uint16_t, 4> kQuadrantColors{0xF800, 0x07E0, 0x001F, 0xFFFF};
constexpr std::array<Px, 4> kQuadrantPixels{Px{255, 0, 0, 255}, Px{0, 255, 0, 255}, Px{0, 0, 255, 255},
                                           Px{255, 255, 255, 255}};

void expect_quadrants(const Bytes& image, int alpha) {
  ASSERT_EQ(image.size(), 100u);
  for (std::uint32_t y = 0; y < 5; ++y) {
    for (std::uint32_t x = 0; x < 5; ++x) {
      Px expected = kQuadrantPixels[(y / 4) * 2 + x / 4];
      expected[3] = alpha;
      EXPECT_EQ(pixel(image, 5, x, y), expected) << x << "," << y;
    }
  }
}

TEST(Dxt1Test, FiveByFiveDropsSpareTexels) {
  Bytes data;
  for (const std::uint16_t c : kQuadrantColors) put_color_block(data, c, 0x0000, all_color(0));
  ASSERT_EQ(data.size(), 32u);
  expect_quadrants(decompress_dxt1(data, 5, 5), 255);
}

TEST(Dxt3Test, FiveByFiveDropsSpareTexels) {
  Bytes data;
  for (const std::uint16_t c : kQuadrantColors) {
    put_dxt3_alpha(data, 0x7777777777777777);  // 7 * 17 = 119
    put_color_block(data, c, 0x0000, all_color(0));
  }
  ASSERT_EQ(data.size(), 64u);
  expect_quadrants(decompress_dxt3(data, 5, 5), 119);
}

TEST(Dxt5Test, FiveByFiveDropsSpareTexels) {
  Bytes data;
  for (const std::uint16_t c : kQuadrantColors) {
    put_dxt5_alpha(data, 42, 0, 0);
    put_color_block(data, c, 0x0000, all_color(0));
  }
  ASSERT_EQ(data.size(), 64u);
  expect_quadrants(decompress_dxt5(data, 5, 5), 42);
}

// An 8 x 8 image whose top-left block is white and whose other pixels are zero.
void expect_only_first_block(const Bytes& image) {
  ASSERT_EQ(image.size(), 256u);
  for (std::uint32_t y = 0; y < 8; ++y) {
    for (std::uint32_t x = 0; x < 8; ++x) {
      const Px expected = x < 4 && y < 4 ? Px{255, 255, 255, 255} : kTransparentBlack;
      EXPECT_EQ(pixel(image, 8, x, y), expected) << x << "," << y;
    }
  }
}

TEST(Dxt1Test, ShortDataStopsAfterLastCompleteBlock) {
  Bytes data = dxt1_block(0xFFFF, 0x0000, all_color(0));
  expect_only_first_block(decompress_dxt1(data, 8, 8));  // 8 bytes: one block
  put_color_block(data, 0xFFFF, 0x0000, all_color(0));
  data.resize(15);
  expect_only_first_block(decompress_dxt1(data, 8, 8));  // 15 bytes: second block incomplete
}

TEST(Dxt3Test, ShortDataStopsAfterLastCompleteBlock) {
  Bytes data;
  for (int i = 0; i < 2; ++i) {
    put_dxt3_alpha(data, ~std::uint64_t{0});
    put_color_block(data, 0xFFFF, 0x0000, all_color(0));
  }
  data.resize(31);
  expect_only_first_block(decompress_dxt3(data, 8, 8));
}

TEST(Dxt5Test, ShortDataStopsAfterLastCompleteBlock) {
  Bytes data;
  for (int i = 0; i < 2; ++i) {
    put_dxt5_alpha(data, 255, 255, 0);
    put_color_block(data, 0xFFFF, 0x0000, all_color(0));
  }
  data.resize(31);
  expect_only_first_block(decompress_dxt5(data, 8, 8));
}

TEST(DxtTest, ZeroWidthOrHeightGivesEmptyBuffer) {
  const Bytes data(64, 0xAB);
  constexpr std::array<std::array<std::uint32_t, 2>, 5> kSizes{
      {{0, 0}, {0, 5}, {5, 0}, {0xFFFFFFFF, 0}, {0, 0xFFFFFFFF}}};
  for (const auto& [w, h] : kSizes) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    EXPECT_TRUE(decompress_dxt1(data, w, h).empty());
    EXPECT_TRUE(decompress_dxt3(data, w, h).empty());
    EXPECT_TRUE(decompress_dxt5(data, w, h).empty());
  }
}

TEST(DxtTest, EmptyDataGivesZeroImageOfFullSize) {
  const Bytes zeros(4 * 7 * 9, 0);
  EXPECT_EQ(decompress_dxt1({}, 7, 9), zeros);
  EXPECT_EQ(decompress_dxt3({}, 7, 9), zeros);
  EXPECT_EQ(decompress_dxt5({}, 7, 9), zeros);
}

TEST(DxtTest, TrailingDataIsIgnored) {
  Bytes dxt1 = dxt1_block(0xF800, 0x0000, all_color(0));
  Bytes dxt5;
  put_dxt5_alpha(dxt5, 9, 0, 0);
  put_color_block(dxt5, 0xF800, 0x0000, all_color(0));
  const Bytes dxt1_exact = decompress_dxt1(dxt1, 4, 4);
  const Bytes dxt5_exact = decompress_dxt5(dxt5, 4, 4);
  const Bytes dxt3_exact = decompress_dxt3(dxt5, 4, 4);
  for (Bytes* data : {&dxt1, &dxt5}) data->insert(data->end(), 24, 0x5A);
  EXPECT_EQ(decompress_dxt1(dxt1, 4, 4), dxt1_exact);
  EXPECT_EQ(decompress_dxt3(dxt5, 4, 4), dxt3_exact);
  EXPECT_EQ(decompress_dxt5(dxt5, 4, 4), dxt5_exact);
  EXPECT_EQ(pixel(dxt1_exact, 4, 3, 3), (Px{255, 0, 0, 255}));
}

// --- Tile fast path against a per-texel walk ------------------------------------------------

enum class Format { Dxt1, Dxt3, Dxt5 };

std::size_t block_size(Format format) { return format == Format::Dxt1 ? 8 : 16; }

Bytes decompress(Format format, ByteView data, std::uint32_t width, std::uint32_t height) {
  switch (format) {
    case Format::Dxt1: return decompress_dxt1(data, width, height);
    case Format::Dxt3: return decompress_dxt3(data, width, height);
    case Format::Dxt5: return decompress_dxt5(data, width, height);
  }
  return {};
}

// Texel p of the block at `b`, straight from the decoding formulas and independent of
// dxt_block.h: every texel decodes its block's endpoints again.
Px reference_texel(Format format, const std::uint8_t* b, unsigned p) {
  const std::uint8_t* color = format == Format::Dxt1 ? b : b + 8;
  const unsigned c0 = color[0] | (color[1] << 8);
  const unsigned c1 = color[2] | (color[3] << 8);
  const unsigned index = (color[4 + p / 4] >> (2 * (p % 4))) & 3;
  const auto expand = [](unsigned v, unsigned bits) {
    const unsigned t = 255 * v + (1u << (bits - 1));
    return (t + (t >> bits)) >> bits;
  };
  const unsigned e0[3] = {expand(c0 >> 11, 5), expand((c0 >> 5) & 63, 6), expand(c0 & 31, 5)};
  const unsigned e1[3] = {expand(c1 >> 11, 5), expand((c1 >> 5) & 63, 6), expand(c1 & 31, 5)};
  const bool four = format != Format::Dxt1 || c0 > c1;

  Px out{};
  for (int ch = 0; ch < 3; ++ch) {
    const unsigned values[4] = {e0[ch], e1[ch], four ? (2 * e0[ch] + e1[ch]) / 3 : (e0[ch] + e1[ch]) / 2,
                                four ? (e0[ch] + 2 * e1[ch]) / 3 : 0};
    out[ch] = static_cast<int>(values[index]);
  }
  switch (format) {
    case Format::Dxt1:
      out[3] = !four && index == 3 ? 0 : 255;
      break;
    case Format::Dxt3:
      out[3] = static_cast<int>(((b[p / 2] >> (4 * (p % 2))) & 15) * 17);
      break;
    case Format::Dxt5: {
      const unsigned a0 = b[0], a1 = b[1];
      std::uint64_t bits = 0;
      for (int i = 0; i < 6; ++i) bits |= std::uint64_t{b[2 + i]} << (8 * i);
      const unsigned i = static_cast<unsigned>(bits >> (3 * p)) & 7;
      unsigned a;
      if (i == 0) a = a0;
      else if (i == 1) a = a1;
      else if (a0 > a1) a = ((8 - i) * a0 + (i - 1) * a1) / 7;
      else if (i <= 5) a = ((6 - i) * a0 + (i - 1) * a1) / 5;
      else a = i == 6 ? 0 : 255;
      out[3] = static_cast<int>(a);
      break;
    }
  }
  return out;
}

Bytes reference_decode(Format format, ByteView data, std::uint32_t width, std::uint32_t height) {
  Bytes out(std::size_t{4} * width * height, 0);
  const std::size_t size = block_size(format);
  std::size_t k = 0;
  for (std::uint32_t by = 0; by < (height + 3) / 4; ++by) {
    for (std::uint32_t bx = 0; bx < (width + 3) / 4; ++bx, ++k) {
      if ((k + 1) * size > data.size()) return out;
      for (unsigned p = 0; p < 16; ++p) {
        const std::uint32_t x = 4 * bx + p % 4;
        const std::uint32_t y = 4 * by + p / 4;
        if (x >= width || y >= height) continue;
        const Px texel = reference_texel(format, data.data() + k * size, p);
        const std::size_t at = 4 * (std::size_t{y} * width + x);
        for (int ch = 0; ch < 4; ++ch) out[at + ch] = static_cast<std::uint8_t>(texel[ch]);
      }
    }
  }
  return out;
}

// Random blocks, with equal colours in DXT1 and equal alphas in DXT5 now and then so that
// every mode turns up.
Bytes random_blocks(Format format, std::size_t blocks, std::mt19937& rng) {
  Bytes out(blocks * block_size(format));
  for (auto& byte : out) byte = static_cast<std::uint8_t>(rng());
  for (std::size_t k = 0; k < blocks; ++k) {
    std::uint8_t* b = out.data() + k * block_size(format);
    if (rng() % 4 == 0) {  // colour 1 = colour 0
      std::uint8_t* color = format == Format::Dxt1 ? b : b + 8;
      color[2] = color[0];
      color[3] = color[1];
    }
    if (format == Format::Dxt5 && rng() % 4 == 0) b[1] = b[0];
  }
  return out;
}

class DxtWalkTest : public ::testing::TestWithParam<Format> {};

TEST_P(DxtWalkTest, TilesMatchPerTexelWalk) {
  const Format format = GetParam();
  std::mt19937 rng(20240607);  // fixed seed: the sequence is fixed by the standard
  for (std::uint32_t height = 1; height <= 13; ++height) {
    for (std::uint32_t width = 1; width <= 13; ++width) {
      const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
      const Bytes full = random_blocks(format, blocks, rng);
      Bytes longer = full;  // 7 bytes past the last block
      longer.insert(longer.end(), 7, 0xEE);
      const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(rng() % full.size()));
      for (const Bytes* data : std::initializer_list<const Bytes*>{&full, &longer, &cut}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(data->size()) +
                     " bytes");
        // An exactly sized copy, so that AddressSanitizer sees any read past the data.
        const Bytes exact(*data);
        EXPECT_EQ(decompress(format, exact, width, height), reference_decode(format, exact, width, height));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DxtWalkTest, ::testing::Values(Format::Dxt1, Format::Dxt3, Format::Dxt5),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           switch (info.param) {
                             case Format::Dxt1: return std::string("Dxt1");
                             case Format::Dxt3: return std::string("Dxt3");
                             case Format::Dxt5: return std::string("Dxt5");
                           }
                           return std::string("Unknown");
                         });

}  // namespace
}  // namespace dat
