#pragma once

#include <cstdint>
#include <string>

#include "file_type/pixel_format.h"

namespace dat {

// Why a texture could not be converted to RGBA8. It has no underlying cause; the caller
// adds its own context.
class [[nodiscard]] TextureDecodeError {
 public:
  enum class Kind {
    UnsupportedFormat,       // the pixel format has no conversion (format())
    ShortRead,               // source_data holds fewer bytes than width * height pixels need
    DimensionOverflow,       // width * height, sign-extended to 64 bits, does not fit in 64 bits
    MissingPaletteId,        // a palettised texture without a default palette id
    PaletteIndexOutOfRange,  // a pixel's index is not below the palette's entry count
    PaletteFetch,            // the palette provider failed (palette_error())
    ImageTooLarge,           // a block-compressed image whose output is refused (width(), height())
  };

  [[nodiscard]] static TextureDecodeError unsupported_format(PixelFormat format) {
    TextureDecodeError e(Kind::UnsupportedFormat);
    e.format_ = format;
    return e;
  }
  [[nodiscard]] static TextureDecodeError short_read() { return TextureDecodeError(Kind::ShortRead); }
  [[nodiscard]] static TextureDecodeError dimension_overflow() { return TextureDecodeError(Kind::DimensionOverflow); }
  [[nodiscard]] static TextureDecodeError missing_palette_id() { return TextureDecodeError(Kind::MissingPaletteId); }
  [[nodiscard]] static TextureDecodeError palette_index_out_of_range() {
    return TextureDecodeError(Kind::PaletteIndexOutOfRange);
  }
  [[nodiscard]] static TextureDecodeError palette_fetch(std::string provider_text) {
    TextureDecodeError e(Kind::PaletteFetch);
    e.palette_error_ = std::move(provider_text);
    return e;
  }
  // width and height as the block decoders would see them: the stored values read unsigned.
  [[nodiscard]] static TextureDecodeError image_too_large(std::uint32_t width, std::uint32_t height) {
    TextureDecodeError e(Kind::ImageTooLarge);
    e.width_ = width;
    e.height_ = height;
    return e;
  }

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  [[nodiscard]] const PixelFormat& format() const noexcept { return format_; }
  [[nodiscard]] const std::string& palette_error() const noexcept { return palette_error_; }
  [[nodiscard]] std::uint32_t width() const noexcept { return width_; }
  [[nodiscard]] std::uint32_t height() const noexcept { return height_; }

  // The display text, e.g. "unsupported pixel format: R5G6B5"; no trailing newline.
  [[nodiscard]] std::string text() const;
  // The variant name with its payload, e.g. PaletteFetch("no such file").
  [[nodiscard]] std::string debug() const;

  friend bool operator==(const TextureDecodeError&, const TextureDecodeError&) = default;

 private:
  explicit TextureDecodeError(Kind kind) : kind_(kind) {}

  Kind kind_;
  PixelFormat format_ = pixel_format_from_raw(0);  // UnsupportedFormat only
  std::string palette_error_;                      // PaletteFetch only
  std::uint32_t width_ = 0;                        // ImageTooLarge only
  std::uint32_t height_ = 0;                       // ImageTooLarge only
};

}  // namespace dat
