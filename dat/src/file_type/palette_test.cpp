#include "file_type/palette.h"

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

constexpr std::string_view kSource = "file_type/palette.cpp";
constexpr std::string_view kFill = "failed to fill whole buffer";

// The id, then the count and `entries` colours 0xFF000000 + i.
ByteWriter palette(std::int32_t count, std::uint32_t entries) {
  ByteWriter record;
  record.u32(0x04000ABC).i32(count);
  for (std::uint32_t i = 0; i < entries; ++i) record.u32(0xFF000000 + i);
  return record;
}

TEST(Palette, DecodesEntriesInFileOrder) {
  const Bytes bytes = palette(256, 256).take();
  ASSERT_EQ(bytes.size(), 8u + 1024u);
  const auto record = Palette::unpack(bytes);
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_EQ(record->id, 0x04000ABCu);
  ASSERT_EQ(record->colors.size(), 256u);
  for (std::uint32_t i = 0; i < 256; ++i) EXPECT_EQ(record->colors[i], 0xFF000000 + i);
}

TEST(Palette, ZeroCountGivesAnEmptyTable) {
  const auto record = Palette::unpack(palette(0, 0).take());
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_TRUE(record->colors.empty());
}

TEST(Palette, TrailingBytesAreIgnored) {
  const auto record = Palette::unpack(palette(2, 2).fill(5, 0xEE).take());
  ASSERT_TRUE(record) << record.error().text();
  EXPECT_EQ(*record, (Palette{0x04000ABC, {0xFF000000, 0xFF000001}}));
}

class PaletteTruncation : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(PaletteTruncation, FailsAtTheFieldThatCannotBeRead) {
  test::expect_fails_at_every_length(GetParam(), &Palette::unpack, kSource);
}

std::vector<TruncationCase> truncation_cases() {
  const Bytes full = palette(256, 256).take();
  const Bytes beyond = palette(0x7FFFFFFF, 3).take();
  const Bytes minus_one = palette(-1, 1).take();
  const Bytes most_negative = palette(std::numeric_limits<std::int32_t>::min(), 0).take();
  const std::vector<std::string> colors = {"While parsing field 'colors' in Palette"};
  return {
      {"Id", full, 0, 3, std::string(kFill), {"While parsing field 'id' in Palette"}},
      {"ShortCount", full, 4, 7, std::string(kFill), colors},
      {"ShortLastEntry", full, full.size() - 1, full.size() - 1, std::string(kFill), colors},
      {"CountBeyondInput", beyond, beyond.size(), beyond.size(), std::string(kFill), colors},
      // A negative count is refused where it was read, after the count at 4..7.
      {"NegativeCount", minus_one, minus_one.size(), minus_one.size(), "count -1 out of range of usize at 0x8", colors},
      {"MostNegativeCount", most_negative, most_negative.size(), most_negative.size(),
       "count -2147483648 out of range of usize at 0x8", colors},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, PaletteTruncation, ::testing::ValuesIn(truncation_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Palette, FramesPointAtTheFieldDeclarationsInFileOrder) {
  const Bytes whole = palette(1, 1).take();
  const std::uint32_t id = test::frame_line(Palette::unpack(ByteView(whole).first(0)), 0);
  const std::uint32_t count = test::frame_line(Palette::unpack(ByteView(whole).first(4)), 0);
  const std::uint32_t entry = test::frame_line(Palette::unpack(ByteView(whole).first(11)), 0);
  EXPECT_GT(id, 0u);
  EXPECT_LT(id, count);
  EXPECT_EQ(count, entry);
}

}  // namespace
}  // namespace dat
