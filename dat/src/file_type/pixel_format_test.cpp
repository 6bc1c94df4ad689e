#include "file_type/pixel_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace dat {
namespace {

struct ListedCase {
  std::string name;  // also the printed name
  std::uint32_t id;
  PixelFormatKind kind;
  bool palettised;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const ListedCase& c, std::ostream* os) { *os << c.name; }

class ListedPixelFormat : public ::testing::TestWithParam<ListedCase> {};

TEST_P(ListedPixelFormat, MapsItsIdToItsKindAndName) {
  const ListedCase& c = GetParam();
  const PixelFormat format = pixel_format_from_raw(c.id);
  EXPECT_EQ(format.kind(), c.kind);
  EXPECT_EQ(format.raw(), c.id);
  EXPECT_EQ(format.name(), c.name);
  EXPECT_EQ(format.palettised(), c.palettised);
}

const ListedCase kListed[] = {
    {"Unknown", 0, PixelFormatKind::Unknown, false},
    {"R8G8B8", 20, PixelFormatKind::R8G8B8, false},
    {"A8R8G8B8", 21, PixelFormatKind::A8R8G8B8, false},
    {"R5G6B5", 23, PixelFormatKind::R5G6B5, false},
    {"A4R4G4B4", 26, PixelFormatKind::A4R4G4B4, false},
    {"A8", 28, PixelFormatKind::A8, false},
    {"P8", 41, PixelFormatKind::P8, true},
    {"Index16", 101, PixelFormatKind::Index16, true},
    {"CustomLscapeR8G8B8", 243, PixelFormatKind::CustomLscapeR8G8B8, false},
    {"CustomLscapeAlpha", 244, PixelFormatKind::CustomLscapeAlpha, false},
    // The block-compressed ids are the bytes "DXT1", "DXT3", "DXT5" read little-endian.
    {"Dxt1", 0x31545844, PixelFormatKind::Dxt1, false},
    {"Dxt3", 0x33545844, PixelFormatKind::Dxt3, false},
    {"Dxt5", 0x35545844, PixelFormatKind::Dxt5, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ListedPixelFormat, ::testing::ValuesIn(kListed),
                         [](const auto& info) { return info.param.name; });

TEST(PixelFormat, EveryOtherIdIsOtherHoldingTheIdInDecimal) {
  const std::pair<std::uint32_t, std::string> printed[] = {
      {22, "Other(22)"}, {42, "Other(42)"}, {0x80000000, "Other(2147483648)"}, {0xFFFFFFFF, "Other(4294967295)"}};
  for (const auto& [id, name] : printed) {
    EXPECT_EQ(pixel_format_from_raw(id).name(), name);
  }
  // Neighbours of every listed id, the FourCC codes of DXT2 and DXT4 among them.
  for (std::uint32_t id :
       {1u,   7u,   19u,  22u,  24u,         25u,         27u,         29u,         40u,         42u,
        100u, 102u, 242u, 245u, 0x31545843u, 0x32545844u, 0x34545844u, 0x36545844u, 0x80000000u, 0xFFFFFFFFu}) {
    const PixelFormat format = pixel_format_from_raw(id);
    EXPECT_EQ(format.kind(), PixelFormatKind::Other) << id;
    EXPECT_EQ(format.raw(), id);
    EXPECT_FALSE(format.palettised()) << id;
    EXPECT_EQ(format.name(), "Other(" + std::to_string(id) + ")");
  }
}

}  // namespace
}  // namespace dat
