#include <gtest/gtest.h>

#include <cstdint>
#include <expected>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "file_type/dxt.h"
#include "file_type/texture.h"
#include "record_writer.h"

namespace dat {
namespace {

using namespace testing::format_id;
using Result = std::expected<Bytes, TextureDecodeError>;

constexpr std::uint32_t kUnknown = 0;
constexpr std::uint32_t kA4R4G4B4 = 26;

// A texture as to_rgba8 sees it; the fields it does not read keep their defaults.
Texture texture(std::uint32_t format, std::int32_t width, std::int32_t height, Bytes data,
                std::optional<std::uint32_t> palette_id = std::nullopt) {
  Texture t;
  t.width = width;
  t.height = height;
  t.format_raw = format;
  t.length = static_cast<std::int32_t>(data.size());
  t.source_data = std::move(data);
  t.default_palette_id = palette_id;
  return t;
}

// Answers every request with the same palette or failure text, and records what was asked.
struct RecordingProvider {
  std::expected<Palette, std::string> answer;
  std::vector<std::uint32_t> asked;

  std::expected<Palette, std::string> operator()(std::uint32_t id) {
    asked.push_back(id);
    return answer;
  }
};

Result failure(TextureDecodeError error) { return std::unexpected(std::move(error)); }

void expect_result(const Result& got, const Result& want) {
  if (want) {
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, *want);
  } else {
    ASSERT_FALSE(got) << "got " << got->size() << " bytes instead of " << want.error().debug();
    EXPECT_EQ(got.error().debug(), want.error().debug());
    EXPECT_EQ(got.error().text(), want.error().text());
  }
}

struct UnpalettisedCase {
  std::string name;
  Texture texture;
  Result want;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const UnpalettisedCase& c, std::ostream* os) { *os << c.name; }

class ToRgba8Unpalettised : public ::testing::TestWithParam<UnpalettisedCase> {};

TEST_P(ToRgba8Unpalettised, ConvertsOrRefusesWithoutAskingForAPalette) {
  const UnpalettisedCase& c = GetParam();
  RecordingProvider provider{std::unexpected("must not be asked"), {}};
  expect_result(c.texture.to_rgba8(provider), c.want);
  EXPECT_TRUE(provider.asked.empty());
}

const Bytes kTwelve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const Bytes kTwoByTwoRgb = {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255};

const UnpalettisedCase kUnpalettisedCases[] = {
    // Direct colour: each kind's stored byte order.
    {"R8G8B8IsBlueGreenRed", texture(kR8G8B8, 1, 1, {0x10, 0x20, 0x30}), Bytes{0x30, 0x20, 0x10, 0xFF}},
    {"LscapeR8G8B8IsRedGreenBlue", texture(kLscapeR8G8B8, 1, 1, {0x10, 0x20, 0x30}), Bytes{0x10, 0x20, 0x30, 0xFF}},
    {"A8R8G8B8KeepsAlpha", texture(kA8R8G8B8, 1, 1, {0x10, 0x20, 0x30, 0x40}), Bytes{0x30, 0x20, 0x10, 0x40}},
    {"A8IsOpaqueGrey", texture(kA8, 1, 1, {0x7F}), Bytes{0x7F, 0x7F, 0x7F, 0xFF}},
    {"LscapeAlphaIsOpaqueGrey", texture(kLscapeAlpha, 2, 1, {0x00, 0xC0}),
     Bytes{0, 0, 0, 0xFF, 0xC0, 0xC0, 0xC0, 0xFF}},
    {"RowsInStoredOrder", texture(kR8G8B8, 2, 2, kTwelve), kTwoByTwoRgb},
    {"ExtraDataIgnored", texture(kR8G8B8, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}), kTwoByTwoRgb},
    {"OneByteShort", texture(kR8G8B8, 2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
     failure(TextureDecodeError::short_read())},
    {"FourBytesPerPixelShort", texture(kA8R8G8B8, 3, 1, Bytes(11, 0)), failure(TextureDecodeError::short_read())},
    {"ZeroWidthIsEmpty", texture(kR8G8B8, 0, 5, {}), Bytes{}},
    {"ZeroHeightIsEmpty", texture(kA8, 5, 0, {}), Bytes{}},
    // Sign extension: -1 x 0 is 0 pixels, -1 x 1 is 2^64 - 1 pixels, -1 x 2 does not fit.
    {"MinusOneByZeroIsEmpty", texture(kR8G8B8, -1, 0, {}), Bytes{}},
    {"MinusOneByOneIsShort", texture(kR8G8B8, -1, 1, kTwelve), failure(TextureDecodeError::short_read())},
    {"MinusOneByTwoOverflows", texture(kA8, -1, 2, kTwelve), failure(TextureDecodeError::dimension_overflow())},
    {"MinusOneSquaredOverflows", texture(kA8, -1, -1, kTwelve), failure(TextureDecodeError::dimension_overflow())},
    // No conversion, whatever the data.
    {"R5G6B5", texture(kR5G6B5, 1, 1, {0, 0}),
     failure(TextureDecodeError::unsupported_format(pixel_format_from_raw(kR5G6B5)))},
    {"A4R4G4B4", texture(kA4R4G4B4, 1, 1, {0, 0}),
     failure(TextureDecodeError::unsupported_format(pixel_format_from_raw(kA4R4G4B4)))},
    {"Unknown", texture(kUnknown, 1, 1, {0, 0, 0, 0}),
     failure(TextureDecodeError::unsupported_format(pixel_format_from_raw(kUnknown)))},
    {"Other22", texture(22, 1, 1, {0, 0, 0, 0}),
     failure(TextureDecodeError::unsupported_format(pixel_format_from_raw(22)))},
    {"UnsupportedNoPixels", texture(22, 0, 0, {}),
     failure(TextureDecodeError::unsupported_format(pixel_format_from_raw(22)))},
    // The pixel count is checked before the kind.
    {"R5G6B5OverflowFirst", texture(kR5G6B5, -1, 2, {}), failure(TextureDecodeError::dimension_overflow())},
    {"Other22OverflowFirst", texture(22, 2, -1, {}), failure(TextureDecodeError::dimension_overflow())},
    {"Dxt1OverflowFirst", texture(kDxt1, -1, 2, {}), failure(TextureDecodeError::dimension_overflow())},
    // Block-compressed kinds: missing blocks decode to transparent black.
    {"Dxt1EmptyData", texture(kDxt1, 4, 4, {}), Bytes(64, 0)},
    {"Dxt3EmptyData", texture(kDxt3, 5, 3, {}), Bytes(60, 0)},
    {"Dxt5EmptyData", texture(kDxt5, 1, 1, {}), Bytes(4, 0)},
    {"DxtMinusOneByZeroIsEmpty", texture(kDxt5, -1, 0, {}), Bytes{}},
    // Output the decoders would size from the dimensions alone is refused beyond 1 GiB.
    {"DxtMinusOneByOneTooLarge", texture(kDxt1, -1, 1, {}),
     failure(TextureDecodeError::image_too_large(4294967295u, 1))},
    {"DxtOneByMinusOneTooLarge", texture(kDxt3, 1, -1, {}),
     failure(TextureDecodeError::image_too_large(1, 4294967295u))},
    {"DxtOnePixelOverTheLimit", texture(kDxt5, (1 << 28) + 1, 1, {}),
     failure(TextureDecodeError::image_too_large((1u << 28) + 1, 1))},
    {"DxtOneRowOverTheLimit", texture(kDxt1, 16384, 16385, {}),
     failure(TextureDecodeError::image_too_large(16384, 16385))},
    {"DxtProductBeyond32Bits", texture(kDxt1, 65536, 65536, {}),
     failure(TextureDecodeError::image_too_large(65536, 65536))},
};

INSTANTIATE_TEST_SUITE_P(Cases, ToRgba8Unpalettised, ::testing::ValuesIn(kUnpalettisedCases),
                         [](const auto& info) { return info.param.name; });

TEST(ToRgba8, BlockKindsHandTheirDataToTheirOwnDecoder) {
  // Two 4x4 blocks' worth of varied bytes: the three formats read them differently.
  Bytes data(32);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  const std::pair<std::uint32_t, Bytes (*)(ByteView, std::uint32_t, std::uint32_t)> kinds[] = {
      {kDxt1, decompress_dxt1}, {kDxt3, decompress_dxt3}, {kDxt5, decompress_dxt5}};
  for (const auto& [format, decompress] : kinds) {
    SCOPED_TRACE(format);
    RecordingProvider provider{std::unexpected("must not be asked"), {}};
    expect_result(texture(format, 5, 3, data).to_rgba8(provider), decompress(data, 5, 3));
  }
}

// 514 entries, all opaque black except entry 513.
Palette palette_with_entry_513() {
  Palette p{0x04000513, std::vector<std::uint32_t>(514, 0xFF000000)};
  p.colors[513] = 0x11223344;
  return p;
}

struct PalettisedCase {
  std::string name;
  Texture texture;
  std::expected<Palette, std::string> answer;
  Result want;
  std::vector<std::uint32_t> asked;
};

void PrintTo(const PalettisedCase& c, std::ostream* os) { *os << c.name; }

class ToRgba8Palettised : public ::testing::TestWithParam<PalettisedCase> {};

TEST_P(ToRgba8Palettised, LooksPixelsUpInTheProvidedPalette) {
  const PalettisedCase& c = GetParam();
  RecordingProvider provider{c.answer, {}};
  expect_result(c.texture.to_rgba8(provider), c.want);
  EXPECT_EQ(provider.asked, c.asked);
}

const Palette kThree{0x04000003, {0xFF102030, 0x00405060, 0x7F708090}};

const PalettisedCase kPalettisedCases[] = {
    {"P8AlphaFromPalette", texture(kP8, 1, 1, {0}, 7), Palette{7, {0x80FF0000}}, Bytes{0xFF, 0x00, 0x00, 0x80}, {7}},
    {"P8EachPixel",
     texture(kP8, 2, 2, {0, 1, 2, 1, 0xEE}, 3),
     kThree,
     Bytes{0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x00, 0x70, 0x80, 0x90, 0x7F, 0x40, 0x50, 0x60, 0x00},
     {3}},
    // Bytes 0x01, 0x02 are 513 little-endian; read big-endian they would pick entry 258.
    {"Index16LittleEndian",
     texture(kIndex16, 1, 1, {0x01, 0x02}, 9),
     palette_with_entry_513(),
     Bytes{0x22, 0x33, 0x44, 0x11},
     {9}},
    // Whatever palette comes back is used, even one with another id.
    {"PaletteOfAnotherId", texture(kP8, 1, 1, {1}, 5), kThree, Bytes{0x40, 0x50, 0x60, 0x00}, {5}},
    {"P8IndexEqualsSize",
     texture(kP8, 2, 1, {2, 3}, 3),
     kThree,
     failure(TextureDecodeError::palette_index_out_of_range()),
     {3}},
    {"Index16IndexBeyondAByte",
     texture(kIndex16, 1, 1, {0x00, 0x01}, 3),
     Palette{3, std::vector<std::uint32_t>(256, 0)},
     failure(TextureDecodeError::palette_index_out_of_range()),
     {3}},
    {"EmptyPalette",
     texture(kP8, 1, 1, {0}, 4),
     Palette{4, {}},
     failure(TextureDecodeError::palette_index_out_of_range()),
     {4}},
    {"ZeroPixelsStillFetch", texture(kP8, 0, 3, {}, 6), Palette{6, {}}, Bytes{}, {6}},
    {"MissingPaletteId", texture(kP8, 1, 1, {0}), kThree, failure(TextureDecodeError::missing_palette_id()), {}},
    {"MissingPaletteIdNoPixels",
     texture(kIndex16, 0, 0, {}),
     kThree,
     failure(TextureDecodeError::missing_palette_id()),
     {}},
    {"ProviderFails",
     texture(kP8, 1, 1, {0}, 8),
     std::unexpected("File ID 00000008 not found in provider"),
     failure(TextureDecodeError::palette_fetch("File ID 00000008 not found in provider")),
     {8}},
    {"ProviderFailsNoPixels",
     texture(kIndex16, 0, 0, {}, 8),
     std::unexpected("gone"),
     failure(TextureDecodeError::palette_fetch("gone")),
     {8}},
    // The data is measured only after the palette was fetched.
    {"P8ShortAfterFetch", texture(kP8, 2, 2, {0, 0, 0}, 3), kThree, failure(TextureDecodeError::short_read()), {3}},
    {"Index16ShortAfterFetch",
     texture(kIndex16, 2, 1, {0, 0, 0}, 3),
     kThree,
     failure(TextureDecodeError::short_read()),
     {3}},
    {"FetchFailureBeforeShort",
     texture(kP8, 2, 2, {}, 3),
     std::unexpected("gone"),
     failure(TextureDecodeError::palette_fetch("gone")),
     {3}},
    {"MinusOneByOneIsShort", texture(kP8, -1, 1, {0, 0}, 3), kThree, failure(TextureDecodeError::short_read()), {3}},
    {"OverflowBeforeEverything",
     texture(kP8, -1, 2, {0, 0}),
     kThree,
     failure(TextureDecodeError::dimension_overflow()),
     {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ToRgba8Palettised, ::testing::ValuesIn(kPalettisedCases),
                         [](const auto& info) { return info.param.name; });

std::expected<Palette, std::string> free_provider(std::uint32_t id) { return Palette{id, {0xFF0A0B0C}}; }

TEST(ToRgba8, AcceptsAnyCallableProvider) {
  const Texture t = texture(kP8, 1, 1, {0}, 2);
  const Bytes want = {0x0A, 0x0B, 0x0C, 0xFF};
  expect_result(t.to_rgba8(free_provider), want);
  expect_result(t.to_rgba8(&free_provider), want);
  expect_result(t.to_rgba8([](std::uint32_t id) { return free_provider(id); }), want);
  const auto const_lambda = [](std::uint32_t id) -> std::expected<Palette, std::string> { return free_provider(id); };
  expect_result(t.to_rgba8(const_lambda), want);
  int calls = 0;
  expect_result(t.to_rgba8([&calls](std::uint32_t id) mutable {
    ++calls;
    return free_provider(id);
  }),
                want);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace dat
