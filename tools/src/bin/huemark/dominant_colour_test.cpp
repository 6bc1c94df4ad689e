#include "huemark/dominant_colour.h"

#include <gtest/gtest.h>

#include <string>
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

}  // namespace
}  // namespace huemark
