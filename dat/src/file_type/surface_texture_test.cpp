#include "file_type/surface_texture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "file_type/record_test_support.h"
#include "record_writer.h"

namespace dat {
namespace {

using test::TruncationCase;
using testing::ByteWriter;

constexpr std::string_view kSource = "file_type/surface_texture.cpp";
constexpr std::string_view kFill = "failed to fill whole buffer";

// id, unknown_int and unknown_byte, then the list's count at offset 9 and its entries.
ByteWriter surface_texture(std::int32_t count, const std::vector<std::uint32_t>& ids) {
  ByteWriter record;
  record.u32(0x05001234).u32(0xDEADBEEF).u8(0x7A).i32(count);
  for (std::uint32_t id : ids) record.u32(id);
  return record;
}

TEST(SurfaceTexture, DecodesTheListAfterTheOddOffsetCount) {
  const Bytes bytes = surface_texture(3, {0x06000001, 0x06000002, 0x06000003}).take();
  ASSERT_EQ(bytes.size(), 25u);
  const auto record = SurfaceTexture::unpack(bytes);
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_EQ(*record, (SurfaceTexture{0x05001234, 0xDEADBEEF, 0x7A, {0x06000001, 0x06000002, 0x06000003}}));
}

TEST(SurfaceTexture, ZeroCountGivesAnEmptyList) {
  const Bytes bytes = surface_texture(0, {}).take();
  ASSERT_EQ(bytes.size(), 13u);
  const auto record = SurfaceTexture::unpack(bytes);
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_TRUE(record->textures.empty());
}

TEST(SurfaceTexture, TrailingBytesAreIgnored) {
  const Bytes bytes = surface_texture(1, {0x06000009}).fill(7, 0xEE).take();
  const auto record = SurfaceTexture::unpack(bytes);
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_EQ(record->textures, std::vector<std::uint32_t>{0x06000009});
}

class SurfaceTextureTruncation : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(SurfaceTextureTruncation, FailsAtTheFieldThatCannotBeRead) {
  test::expect_fails_at_every_length(GetParam(), &SurfaceTexture::unpack, kSource);
}

std::vector<TruncationCase> truncation_cases() {
  const Bytes three = surface_texture(3, {1, 2, 3}).take();
  const Bytes beyond = surface_texture(1000, {1, 2}).take();
  const Bytes minus_one = surface_texture(-1, {1, 2}).take();
  const Bytes most_negative = surface_texture(std::numeric_limits<std::int32_t>::min(), {1}).take();
  const std::vector<std::string> textures = {"While parsing field 'textures' in SurfaceTexture"};
  return {
      {"Id", three, 0, 3, std::string(kFill), {"While parsing field 'id' in SurfaceTexture"}},
      {"UnknownInt", three, 4, 7, std::string(kFill), {"While parsing field 'unknown_int' in SurfaceTexture"}},
      {"UnknownByte", three, 8, 8, std::string(kFill), {"While parsing field 'unknown_byte' in SurfaceTexture"}},
      {"ShortCount", three, 9, 12, std::string(kFill), textures},
      // Up to 13 + 11 bytes: the third entry is short, and the first two are not returned.
      {"ShortEntry", three, 13, 24, std::string(kFill), textures},
      {"CountBeyondInput", beyond, beyond.size(), beyond.size(), std::string(kFill), textures},
      // A negative count is refused where it was read, after the count at 9..12.
      {"NegativeCount", minus_one, minus_one.size(), minus_one.size(), "count -1 out of range of usize at 0xd",
       textures},
      {"MostNegativeCount", most_negative, most_negative.size(), most_negative.size(),
       "count -2147483648 out of range of usize at 0xd", textures},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, SurfaceTextureTruncation, ::testing::ValuesIn(truncation_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(SurfaceTexture, FramesPointAtTheFieldDeclarationsInFileOrder) {
  const Bytes whole = surface_texture(1, {1}).take();
  std::vector<std::uint32_t> lines;
  for (std::size_t length : {0, 4, 8, 9, 13}) {
    lines.push_back(test::frame_line(SurfaceTexture::unpack(ByteView(whole).first(length)), 0));
  }
  EXPECT_GT(lines[0], 0u);
  for (std::size_t i = 1; i < lines.size() - 1; ++i) EXPECT_LT(lines[i - 1], lines[i]) << "field " << i;
  // The count and the entries are one field with one declaration.
  EXPECT_EQ(lines[4], lines[3]);
}

}  // namespace
}  // namespace dat
