#include "file_type/texture_decode_error.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace dat {
namespace {

struct TextCase {
  std::string name;
  TextureDecodeError error;
  TextureDecodeError::Kind kind;
  std::string text;
  std::string debug;
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class TextureDecodeErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextureDecodeErrorText, PrintsItsFixedTextAndDebugForm) {
  const TextCase& c = GetParam();
  EXPECT_EQ(c.error.kind(), c.kind);
  EXPECT_EQ(c.error.text(), c.text);
  EXPECT_EQ(c.error.debug(), c.debug);
}

using Kind = TextureDecodeError::Kind;

const TextCase kTextCases[] = {
    {"UnsupportedR5G6B5", TextureDecodeError::unsupported_format(pixel_format_from_raw(23)), Kind::UnsupportedFormat,
     "unsupported pixel format: R5G6B5", "UnsupportedFormat(R5G6B5)"},
    {"UnsupportedOther", TextureDecodeError::unsupported_format(pixel_format_from_raw(22)), Kind::UnsupportedFormat,
     "unsupported pixel format: Other(22)", "UnsupportedFormat(Other(22))"},
    {"ShortRead", TextureDecodeError::short_read(), Kind::ShortRead, "source_data too short for declared width/height",
     "ShortRead"},
    {"DimensionOverflow", TextureDecodeError::dimension_overflow(), Kind::DimensionOverflow,
     "width * height overflowed usize", "DimensionOverflow"},
    {"MissingPaletteId", TextureDecodeError::missing_palette_id(), Kind::MissingPaletteId,
     "palettized format but no DefaultPaletteId in header", "MissingPaletteId"},
    {"PaletteIndexOutOfRange", TextureDecodeError::palette_index_out_of_range(), Kind::PaletteIndexOutOfRange,
     "pixel index out of palette range", "PaletteIndexOutOfRange"},
    {"PaletteFetch", TextureDecodeError::palette_fetch("File ID 04000001 not found in provider"), Kind::PaletteFetch,
     "palette fetch failed: File ID 04000001 not found in provider",
     "PaletteFetch(\"File ID 04000001 not found in provider\")"},
    // The display text keeps the provider's text as it is; the debug form escapes it.
    {"PaletteFetchEscaped", TextureDecodeError::palette_fetch("say \"no\"\\\n"), Kind::PaletteFetch,
     "palette fetch failed: say \"no\"\\\n", "PaletteFetch(\"say \\\"no\\\"\\\\\\n\")"},
    {"ImageTooLarge", TextureDecodeError::image_too_large(4294967295u, 1), Kind::ImageTooLarge,
     "decoded image of 4294967295x1 pixels is too large", "ImageTooLarge { width: 4294967295, height: 1 }"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TextureDecodeErrorText, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace dat
