#include "file_type/texture.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include "file_type/dxt.h"
#include "reader/byte_cursor.h"
#include "reader/record_reader.h"

namespace dat {
namespace {

static_assert(sizeof(std::size_t) >= sizeof(std::uint64_t), "pixel counts are used as sizes unchanged");

using Rgba = std::array<std::uint8_t, 4>;

// The first bytes_per_pixel * pixels bytes of `data`, or nothing when fewer are stored; a
// requirement beyond 64 bits is never met. Since the output has 4 bytes per pixel, this
// bounds it by four times the stored data.
std::optional<ByteView> stored_pixels(ByteView data, std::uint64_t pixels, std::size_t bytes_per_pixel) {
  if (pixels > std::numeric_limits<std::uint64_t>::max() / bytes_per_pixel) return std::nullopt;
  ByteCursor cursor(data);
  auto view = cursor.take(pixels * bytes_per_pixel, IoError::kNotEnoughBytes);
  if (!view) return std::nullopt;
  return *view;
}

// Converts pixel after pixel: `texel` turns one pixel's BytesPerPixel stored bytes into R, G, B, A.
template <std::size_t BytesPerPixel, class Texel>
std::expected<Bytes, TextureDecodeError> convert_direct(ByteView data, std::uint64_t pixels, Texel texel) {
  const auto stored = stored_pixels(data, pixels, BytesPerPixel);
  if (!stored) return std::unexpected(TextureDecodeError::short_read());
  Bytes out(4 * pixels);
  for (std::size_t i = 0; i < pixels; ++i) {
    const Rgba rgba = texel(stored->data() + BytesPerPixel * i);
    std::memcpy(out.data() + 4 * i, rgba.data(), 4);
  }
  return out;
}

// The image a block decoder gets, or ImageTooLarge.
std::expected<Texture::BlockImage, TextureDecodeError> checked_block_image(DxtFormat format, ByteView data,
                                                                           std::int32_t width, std::int32_t height) {
  // The block decoders take the dimensions as unsigned: a negative one arrives near 2^32.
  const auto w = static_cast<std::uint32_t>(width);
  const auto h = static_cast<std::uint32_t>(height);
  if (std::uint64_t{w} * h > Texture::kMaxBlockDecodedBytes / 4) {
    return std::unexpected(TextureDecodeError::image_too_large(w, h));
  }
  return Texture::BlockImage{format, data, w, h};
}

// The block format of a block-compressed kind.
std::optional<DxtFormat> dxt_format(PixelFormatKind kind) {
  using K = PixelFormatKind;
  switch (kind) {
    case K::Dxt1:
      return DxtFormat::Dxt1;
    case K::Dxt3:
      return DxtFormat::Dxt3;
    case K::Dxt5:
      return DxtFormat::Dxt5;
    case K::Unknown:
    case K::R8G8B8:
    case K::A8R8G8B8:
    case K::R5G6B5:
    case K::A4R4G4B4:
    case K::A8:
    case K::P8:
    case K::Index16:
    case K::CustomLscapeR8G8B8:
    case K::CustomLscapeAlpha:
    case K::Other:
      return std::nullopt;
  }
  std::abort();
}

using BlockDecoder = Bytes (*)(ByteView, std::uint32_t, std::uint32_t);

std::expected<Bytes, TextureDecodeError> convert_blocks(DxtFormat format, BlockDecoder decode, ByteView data,
                                                        std::int32_t width, std::int32_t height) {
  const auto image = checked_block_image(format, data, width, height);
  if (!image) return std::unexpected(image.error());
  return decode(image->data, image->width, image->height);
}

}  // namespace

std::expected<Texture, RecordReadError> Texture::unpack(ByteView bytes) {
  ByteCursor cursor(bytes);
  RecordReader r(cursor, "Texture");
  Texture t;
  t.id = r.u32("id");
  t.unknown = r.u32("_unknown");
  t.width = r.i32("width");
  t.height = r.i32("height");
  t.format_raw = r.u32("format_raw");
  t.length = r.i32("length");
  if (t.length < 0) r.fail_assertion(fmt::format("count {} out of range of usize", t.length));
  t.source_data = r.bytes("source_data", t.length < 0 ? 0 : static_cast<std::size_t>(t.length));
  if (t.format().palettised()) t.default_palette_id = r.u32("default_palette_id");
  return r.finish(std::move(t));
}

std::expected<std::uint64_t, TextureDecodeError> Texture::rgba8_pixel_count() const {
  // Sign extension: a negative dimension becomes its two's-complement value near 2^64.
  const auto w = static_cast<std::uint64_t>(static_cast<std::int64_t>(width));
  const auto h = static_cast<std::uint64_t>(static_cast<std::int64_t>(height));
  if (w != 0 && h > std::numeric_limits<std::uint64_t>::max() / w) {
    return std::unexpected(TextureDecodeError::dimension_overflow());
  }
  return w * h;
}

std::expected<Texture::BlockImage, TextureDecodeError> Texture::block_image() const {
  const std::optional<DxtFormat> block_format = dxt_format(format().kind());
  if (!block_format) std::abort();  // the caller's mistake, not the file's
  if (const auto pixels = rgba8_pixel_count(); !pixels) return std::unexpected(pixels.error());
  return checked_block_image(*block_format, source_data, width, height);
}

std::expected<Bytes, TextureDecodeError> Texture::rgba8_without_palette(PixelFormat pixel_format,
                                                                        std::uint64_t pixels) const {
  using K = PixelFormatKind;
  switch (pixel_format.kind()) {
    // No conversion for these: 16-bit and 4-bit-per-channel colour is not decoded.
    case K::Unknown:
    case K::R5G6B5:
    case K::A4R4G4B4:
    case K::Other:
      return std::unexpected(TextureDecodeError::unsupported_format(pixel_format));
    case K::Dxt1:
      return convert_blocks(DxtFormat::Dxt1, decompress_dxt1, source_data, width, height);
    case K::Dxt3:
      return convert_blocks(DxtFormat::Dxt3, decompress_dxt3, source_data, width, height);
    case K::Dxt5:
      return convert_blocks(DxtFormat::Dxt5, decompress_dxt5, source_data, width, height);
    case K::R8G8B8:  // stored blue, green, red
      return convert_direct<3>(source_data, pixels, [](const std::uint8_t* s) { return Rgba{s[2], s[1], s[0], 255}; });
    case K::A8R8G8B8:  // stored blue, green, red, alpha
      return convert_direct<4>(source_data, pixels, [](const std::uint8_t* s) { return Rgba{s[2], s[1], s[0], s[3]}; });
    case K::CustomLscapeR8G8B8:  // stored red, green, blue
      return convert_direct<3>(source_data, pixels, [](const std::uint8_t* s) { return Rgba{s[0], s[1], s[2], 255}; });
    // One grey level: opaque grey, not white with that alpha.
    case K::A8:
    case K::CustomLscapeAlpha:
      return convert_direct<1>(source_data, pixels, [](const std::uint8_t* s) { return Rgba{s[0], s[0], s[0], 255}; });
    case K::P8:
    case K::Index16:
      break;  // to_rgba8 sends these to rgba8_from_palette
  }
  std::abort();
}

std::expected<Texture::IndexedImage, TextureDecodeError> Texture::with_indices(Palette palette,
                                                                              std::uint64_t pixels) const {
  const std::size_t bytes_per_index = format().kind() == PixelFormatKind::Index16 ? 2 : 1;
  const auto stored = stored_pixels(source_data, pixels, bytes_per_index);
  if (!stored) return std::unexpected(TextureDecodeError::short_read());
  return IndexedImage{std::move(palette), *stored, bytes_per_index};
}

std::expected<Bytes, TextureDecodeError> Texture::rgba8_from_palette(const IndexedImage& image) {
  const bool wide = image.bytes_per_index == 2;
  const std::size_t pixels = image.indices.size() / image.bytes_per_index;
  const std::vector<std::uint32_t>& colors = image.palette.colors;
  Bytes out(4 * pixels);
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::size_t index = wide ? load_u16le(image.indices.data() + 2 * i) : image.indices[i];
    if (index >= colors.size()) return std::unexpected(TextureDecodeError::palette_index_out_of_range());
    const std::uint32_t c = colors[index];  // 0xAARRGGBB
    const Rgba rgba{static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c),
                    static_cast<std::uint8_t>(c >> 24)};
    std::memcpy(out.data() + 4 * i, rgba.data(), 4);
  }
  return out;
}

}  // namespace dat
