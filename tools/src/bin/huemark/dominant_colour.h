#pragma once

#include <expected>
#include <utility>

#include "file_type/texture.h"
#include "huemark/colour.h"
#include "utils/bytes.h"

namespace huemark {

// The colour that best represents an RGBA8 image: pixels with alpha >= 128 are sorted
// into 4096 buckets by the top four bits of R, G and B; the fullest bucket wins (the
// highest index among equals) and its pixels' average, rounded down, is the result.
// An image without such pixels gives (128, 128, 128). Trailing bytes short of a whole
// pixel are ignored.
[[nodiscard]] Rgb dominant_colour(dat::ByteView rgba);

// The dominant colour of what the block decoder makes of `image`, counted from each
// block's colour table instead of from decoded pixels: the same colour, without the RGBA8
// buffer.
[[nodiscard]] Rgb dominant_colour(const dat::Texture::BlockImage& image);

// The dominant colour of what to_rgba8 makes of a palettised image, counted per palette
// entry (P8) or looked up pixel by pixel (Index16) without the RGBA8 buffer; or
// PaletteIndexOutOfRange, as to_rgba8 fails, when an index lies beyond the palette.
[[nodiscard]] std::expected<Rgb, dat::TextureDecodeError> dominant_colour(const dat::Texture::IndexedImage& image);

// dominant_colour(texture.to_rgba8(provider)), or to_rgba8's error. Block-compressed and
// palettised textures take the overloads above, after the same checks to_rgba8 makes.
template <dat::PaletteProvider Provider>
[[nodiscard]] std::expected<Rgb, dat::TextureDecodeError> dominant_colour_of_texture(const dat::Texture& texture,
                                                                                    Provider&& provider) {
  const dat::PixelFormatKind kind = texture.format().kind();
  if (kind == dat::PixelFormatKind::Dxt1 || kind == dat::PixelFormatKind::Dxt3 ||
      kind == dat::PixelFormatKind::Dxt5) {
    const auto image = texture.block_image();
    if (!image) return std::unexpected(image.error());
    return dominant_colour(*image);
  }
  if (texture.format().palettised()) {
    const auto image = texture.indexed_image(std::forward<Provider>(provider));
    if (!image) return std::unexpected(image.error());
    return dominant_colour(*image);
  }
  auto rgba = texture.to_rgba8(std::forward<Provider>(provider));
  if (!rgba) return std::unexpected(std::move(rgba.error()));
  return dominant_colour(*rgba);
}

}  // namespace huemark
