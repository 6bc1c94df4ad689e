#include "file_type/surface.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <ostream>
#include <string>
#include <vector>

#include "file_type/record_test_support.h"
#include "record_writer.h"

namespace dat {
namespace {

using test::TruncationCase;
using testing::ByteWriter;

constexpr std::string_view kSource = "file_type/surface.cpp";
constexpr std::string_view kFill = "failed to fill whole buffer";

// A solid surface: type, colour, then the three lighting values.
ByteWriter solid(std::uint32_t surface_type, std::uint32_t color) {
  return ByteWriter().u32(surface_type).u32(color).u32(0x3F000000).u32(0x3F800000).u32(0x40000000);
}

// A textured surface: type, texture and palette ids, then the three lighting values.
ByteWriter textured(std::uint32_t surface_type, std::uint32_t texture_id, std::uint32_t palette_id) {
  return ByteWriter()
      .u32(surface_type)
      .u32(texture_id)
      .u32(palette_id)
      .u32(0x3F000000)
      .u32(0x3F800000)
      .u32(0x40000000);
}

struct FormCase {
  std::string name;
  std::uint32_t surface_type;
  bool textured;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

class SurfaceForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(SurfaceForm, OnlyBitsOneAndTwoSelectTheTexturedForm) {
  const FormCase& c = GetParam();
  const Bytes bytes =
      c.textured ? textured(c.surface_type, 0x05000123, 0x04000456).take() : solid(c.surface_type, 0xFF112233).take();
  const auto surface = Surface::unpack(bytes);
  ASSERT_TRUE(surface) << surface.error().text();
  EXPECT_EQ(surface->surface_type, c.surface_type);
  if (c.textured) {
    EXPECT_EQ(surface->texture_refs, (TextureRefs{0x05000123, 0x04000456}));
    EXPECT_EQ(surface->color_value, std::nullopt);
  } else {
    EXPECT_EQ(surface->color_value, 0xFF112233u);
    EXPECT_EQ(surface->texture_refs, std::nullopt);
  }
  EXPECT_EQ(surface->translucency, 0.5f);
  EXPECT_EQ(surface->luminosity, 1.0f);
  EXPECT_EQ(surface->diffuse, 2.0f);
}

const FormCase kFormCases[] = {
    {"Zero", 0, false},
    {"One", 1, false},
    {"Eight", 8, false},
    {"Sixteen", 0x10, false},
    {"AllOtherBits", 0xFFFFFFF9, false},
    {"Two", 2, true},
    {"Four", 4, true},
    {"Six", 6, true},
    {"TwoWithOtherBits", 0x80000013, true},
    {"AllBits", 0xFFFFFFFF, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, SurfaceForm, ::testing::ValuesIn(kFormCases),
                         [](const auto& info) { return info.param.name; });

TEST(Surface, ColorValueKeepsItsBytesInPlace) {
  // Bytes 4..7 are 0x33, 0x22, 0x11, 0xFF: blue, green, red, then an unused top byte.
  const Bytes bytes = ByteWriter().u32(0).raw({0x33, 0x22, 0x11, 0xFF}).fill(12, 0).take();
  const auto surface = Surface::unpack(bytes);
  ASSERT_TRUE(surface) << surface.error().text();
  ASSERT_TRUE(surface->color_value);
  EXPECT_EQ((*surface->color_value >> 16) & 0xFF, 0x11u);
  EXPECT_EQ((*surface->color_value >> 8) & 0xFF, 0x22u);
  EXPECT_EQ(*surface->color_value & 0xFF, 0x33u);
}

TEST(Surface, FloatsComeOutBitForBit) {
  // NaN with a payload, signalling NaN, negative NaN; the infinities and negative zero.
  const std::array<std::uint32_t, 3> patterns[] = {{0x7FC00001, 0x7F800001, 0xFFBADBAD},
                                                   {0x7F800000, 0xFF800000, 0x80000000}};
  for (const auto& bits : patterns) {
    for (const bool is_textured : {false, true}) {
      ByteWriter record;
      record.u32(is_textured ? 2 : 0).u32(1);
      if (is_textured) record.u32(2);
      const Bytes bytes = record.u32(bits[0]).u32(bits[1]).u32(bits[2]).take();
      const auto surface = Surface::unpack(bytes);
      ASSERT_TRUE(surface) << surface.error().text();
      EXPECT_EQ(std::bit_cast<std::uint32_t>(surface->translucency), bits[0]);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(surface->luminosity), bits[1]);
      EXPECT_EQ(std::bit_cast<std::uint32_t>(surface->diffuse), bits[2]);
    }
  }
}

TEST(Surface, TrailingBytesAreIgnored) {
  for (const ByteWriter& record : {solid(1, 0x00ABCDEF), textured(6, 7, 8)}) {
    const Bytes exact = record.data();
    const Bytes longer = ByteWriter(record).fill(9, 0xEE).take();
    const auto a = Surface::unpack(exact);
    const auto b = Surface::unpack(longer);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->surface_type, b->surface_type);
    EXPECT_EQ(a->color_value, b->color_value);
    EXPECT_EQ(a->texture_refs, b->texture_refs);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a->diffuse), std::bit_cast<std::uint32_t>(b->diffuse));
  }
}

class SurfaceTruncation : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(SurfaceTruncation, FailsAtTheFieldThatRunsPastTheEnd) {
  test::expect_fails_at_every_length(GetParam(), &Surface::unpack, kSource);
}

// The whole record of `surface_type`'s form; the cases cut it short.
Bytes whole(std::uint32_t surface_type) {
  return (surface_type & Surface::kTexturedMask) != 0 ? textured(surface_type, 1, 2).take()
                                                      : solid(surface_type, 3).take();
}

std::vector<TruncationCase> truncation_cases() {
  const std::string fill(kFill);
  const std::string texture_refs = "While parsing field 'texture_refs' in Surface";
  return {
      {"SolidSurfaceType", whole(0), 0, 3, fill, {"While parsing field 'surface_type' in Surface"}},
      {"SolidColorValue", whole(0), 4, 7, fill, {"While parsing field 'color_value' in Surface"}},
      {"SolidTranslucency", whole(0), 8, 11, fill, {"While parsing field 'translucency' in Surface"}},
      {"SolidLuminosity", whole(0), 12, 15, fill, {"While parsing field 'luminosity' in Surface"}},
      {"SolidDiffuse", whole(0), 16, 19, fill, {"While parsing field 'diffuse' in Surface"}},
      {"TexturedSurfaceType", whole(2), 0, 3, fill, {"While parsing field 'surface_type' in Surface"}},
      {"TexturedOrigTextureId",
       whole(2),
       4,
       7,
       fill,
       {"While parsing field 'orig_texture_id' in TextureRefs", texture_refs}},
      {"TexturedOrigPaletteId",
       whole(4),
       8,
       11,
       fill,
       {"While parsing field 'orig_palette_id' in TextureRefs", texture_refs}},
      {"TexturedTranslucency", whole(6), 12, 15, fill, {"While parsing field 'translucency' in Surface"}},
      {"TexturedLuminosity", whole(6), 16, 19, fill, {"While parsing field 'luminosity' in Surface"}},
      // 20 bytes are a whole solid record, but a textured one still lacks diffuse.
      {"TexturedDiffuse", whole(6), 20, 23, fill, {"While parsing field 'diffuse' in Surface"}},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, SurfaceTruncation, ::testing::ValuesIn(truncation_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(Surface, FramesPointAtTheFieldDeclarationsInFileOrder) {
  const Bytes solid_bytes = solid(0, 0).take();
  const Bytes textured_bytes = textured(2, 0, 0).take();
  const auto at = [](const Bytes& bytes, std::size_t length, std::size_t frame) {
    return test::frame_line(Surface::unpack(ByteView(bytes).first(length)), frame);
  };
  // Outer frames: surface_type, texture_refs, color_value, translucency, luminosity, diffuse.
  const std::vector<std::uint32_t> outer = {at(solid_bytes, 0, 0), at(textured_bytes, 4, 1), at(solid_bytes, 4, 0),
                                            at(solid_bytes, 8, 0), at(solid_bytes, 12, 0),   at(solid_bytes, 16, 0)};
  for (std::size_t i = 1; i < outer.size(); ++i) EXPECT_LT(outer[i - 1], outer[i]) << "field " << i;
  EXPECT_GT(outer[0], 0u);
  // Both layouts declare each lighting value once.
  EXPECT_EQ(at(textured_bytes, 12, 0), outer[3]);
  EXPECT_EQ(at(textured_bytes, 20, 0), outer[5]);
  const std::uint32_t texture_id = at(textured_bytes, 4, 0);
  const std::uint32_t palette_id = at(textured_bytes, 8, 0);
  EXPECT_GT(texture_id, 0u);
  EXPECT_LT(texture_id, palette_id);
}

}  // namespace
}  // namespace dat
