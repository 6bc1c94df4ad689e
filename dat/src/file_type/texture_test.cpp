#include "file_type/texture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "file_type/record_test_support.h"
#include "record_writer.h"

namespace dat {
namespace {

using test::TruncationCase;
using testing::ByteWriter;
using namespace testing::format_id;

constexpr std::string_view kSource = "file_type/texture.cpp";
constexpr std::string_view kFill = "failed to fill whole buffer";

// The six fixed fields; the pixel bytes and the palette id are appended by the caller.
ByteWriter header(std::uint32_t format, std::int32_t length, std::int32_t width = 4, std::int32_t height = 2) {
  return ByteWriter().u32(0x05000042).u32(0x11223344).i32(width).i32(height).u32(format).i32(length);
}

TEST(Texture, DecodesAnEmptyDirectColourRecord) {
  const Bytes bytes = header(21, 0).take();
  ASSERT_EQ(bytes.size(), 24u);
  const auto texture = Texture::unpack(bytes);
  ASSERT_TRUE(texture) << texture.error().text();
  EXPECT_EQ(*texture, (Texture{0x05000042, 0x11223344, 4, 2, 21, 0, {}, std::nullopt}));
}

TEST(Texture, DimensionsAreNotValidated) {
  const auto texture = Texture::unpack(header(20, 0, -1, std::numeric_limits<std::int32_t>::min()).take());
  ASSERT_TRUE(texture) << texture.error().text();
  EXPECT_EQ(texture->width, -1);
  EXPECT_EQ(texture->height, std::numeric_limits<std::int32_t>::min());
}

TEST(Texture, UnlistedFormatsDecodeAsOther) {
  for (std::uint32_t format : {7u, 42u, 0x80000000u}) {
    const auto texture = Texture::unpack(header(format, 0).take());
    ASSERT_TRUE(texture) << texture.error().text();
    EXPECT_EQ(texture->format_raw, format);
    EXPECT_EQ(texture->format().kind(), PixelFormatKind::Other);
    EXPECT_EQ(texture->format().raw(), format);
  }
}

struct PaletteIdCase {
  std::string name;
  std::uint32_t format;
  bool reads_palette_id;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const PaletteIdCase& c, std::ostream* os) { *os << c.name; }

class TexturePaletteId : public ::testing::TestWithParam<PaletteIdCase> {};

TEST_P(TexturePaletteId, IsReadAfterTheDataOnlyForPalettisedFormats) {
  const PaletteIdCase& c = GetParam();
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ByteWriter record = header(c.format, 16);
  for (std::uint8_t b : pixels) record.u8(b);
  // Four more bytes follow the data whatever the format, and more after them.
  const Bytes bytes = record.u32(0x04000077).fill(3, 0xEE).take();
  const auto texture = Texture::unpack(bytes);
  ASSERT_TRUE(texture) << texture.error().text();
  EXPECT_EQ(texture->source_data, pixels);
  EXPECT_EQ(texture->length, 16);
  EXPECT_EQ(texture->default_palette_id, c.reads_palette_id ? std::optional<std::uint32_t>(0x04000077) : std::nullopt);
}

const PaletteIdCase kPaletteIdCases[] = {
    {"P8", kP8, true},      {"Index16", kIndex16, true}, {"R8G8B8", kR8G8B8, false}, {"A8R8G8B8", kA8R8G8B8, false},
    {"Dxt1", kDxt1, false}, {"Other7", 7, false},        {"Unknown", 0, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, TexturePaletteId, ::testing::ValuesIn(kPaletteIdCases),
                         [](const auto& info) { return info.param.name; });

class TextureTruncation : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(TextureTruncation, FailsAtTheFieldThatRunsPastTheEnd) {
  test::expect_fails_at_every_length(GetParam(), &Texture::unpack, kSource);
}

std::vector<TruncationCase> truncation_cases() {
  const Bytes palettised = header(kP8, 16).fill(16, 0xAB).u32(0x04000001).take();  // 44 bytes
  // length 100 with only 50 bytes after the header.
  const Bytes short_data = header(20, 100).fill(50, 0xCD).take();
  const std::string fill(kFill);
  const std::string not_enough = "not enough bytes in reader";
  const std::string source_data = "While parsing field 'source_data' in Texture";
  return {
      {"Id", palettised, 0, 3, fill, {"While parsing field 'id' in Texture"}},
      {"Unknown", palettised, 4, 7, fill, {"While parsing field '_unknown' in Texture"}},
      {"Width", palettised, 8, 11, fill, {"While parsing field 'width' in Texture"}},
      {"Height", palettised, 12, 15, fill, {"While parsing field 'height' in Texture"}},
      {"FormatRaw", palettised, 16, 19, fill, {"While parsing field 'format_raw' in Texture"}},
      {"Length", palettised, 20, 23, fill, {"While parsing field 'length' in Texture"}},
      {"SourceData", palettised, 24, 39, not_enough, {source_data}},
      {"SourceDataHalfThere", short_data, short_data.size(), short_data.size(), not_enough, {source_data}},
      {"DefaultPaletteId", palettised, 40, 43, fill, {"While parsing field 'default_palette_id' in Texture"}},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, TextureTruncation, ::testing::ValuesIn(truncation_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Texture, NegativeLengthIsAnAssertionAfterTheLengthWithoutFrames) {
  const std::pair<std::int32_t, std::string> cases[] = {
      {-1, "count -1 out of range of usize"},
      {std::numeric_limits<std::int32_t>::min(), "count -2147483648 out of range of usize"},
  };
  for (const auto& [length, message] : cases) {
    // Plenty of bytes follow: the count itself is refused, not the data.
    const auto texture = Texture::unpack(header(kP8, length).fill(64, 0).take());
    ASSERT_FALSE(texture);
    EXPECT_FALSE(texture.error().has_context());
    EXPECT_EQ(texture.error().inner(), RecordReadError::Inner(AssertionFailure{message, 24}));
    EXPECT_EQ(texture.error().text(), message + " at 0x18");
  }
}

TEST(Texture, TrailingBytesAreIgnored) {
  const Bytes exact = header(kIndex16, 4).raw({1, 2, 3, 4}).u32(0x04000005).take();
  const Bytes longer = header(kIndex16, 4).raw({1, 2, 3, 4}).u32(0x04000005).fill(10, 0xFF).take();
  const auto a = Texture::unpack(exact);
  const auto b = Texture::unpack(longer);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
}

TEST(Texture, FramesPointAtTheFieldDeclarationsInFileOrder) {
  const Bytes whole = header(kP8, 4).fill(4, 0).u32(1).take();
  std::vector<std::uint32_t> lines;
  for (std::size_t length : {0, 4, 8, 12, 16, 20, 24, 28}) {
    lines.push_back(test::frame_line(Texture::unpack(ByteView(whole).first(length)), 0));
  }
  EXPECT_GT(lines[0], 0u);
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_LT(lines[i - 1], lines[i]) << "field " << i;
}

}  // namespace
}  // namespace dat
