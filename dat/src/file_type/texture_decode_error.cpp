#include "file_type/texture_decode_error.h"

#include <cstdlib>

#include <fmt/format.h>

namespace dat {

std::string TextureDecodeError::text() const {
  switch (kind_) {
    case Kind::UnsupportedFormat:
      return fmt::format("unsupported pixel format: {}", format_.name());
    case Kind::ShortRead:
      return "source_data too short for declared width/height";
    case Kind::DimensionOverflow:
      return "width * height overflowed usize";
    case Kind::MissingPaletteId:
      return "palettized format but no DefaultPaletteId in header";
    case Kind::PaletteIndexOutOfRange:
      return "pixel index out of palette range";
    case Kind::PaletteFetch:
      return fmt::format("palette fetch failed: {}", palette_error_);
    case Kind::ImageTooLarge:
      return fmt::format("decoded image of {}x{} pixels is too large", width_, height_);
  }
  std::abort();
}

std::string TextureDecodeError::debug() const {
  switch (kind_) {
    case Kind::UnsupportedFormat:
      return fmt::format("UnsupportedFormat({})", format_.name());
    case Kind::ShortRead:
      return "ShortRead";
    case Kind::DimensionOverflow:
      return "DimensionOverflow";
    case Kind::MissingPaletteId:
      return "MissingPaletteId";
    case Kind::PaletteIndexOutOfRange:
      return "PaletteIndexOutOfRange";
    case Kind::PaletteFetch:
      return fmt::format("PaletteFetch({:?})", palette_error_);
    case Kind::ImageTooLarge:
      return fmt::format("ImageTooLarge {{ width: {}, height: {} }}", width_, height_);
  }
  std::abort();
}

}  // namespace dat
