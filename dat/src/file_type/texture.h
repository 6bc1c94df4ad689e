#pragma once

#include <cstdint>
#include <cstdlib>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

#include "error/record_read_error.h"
#include "file_type/dxt.h"
#include "file_type/palette.h"
#include "file_type/pixel_format.h"
#include "file_type/texture_decode_error.h"
#include "utils/bytes.h"

namespace dat {

// A palette provider turns a palette id into a Palette or a failure text. Any callable of
// that shape serves, with or without state.
template <class F>
concept PaletteProvider = std::is_invocable_r_v<std::expected<Palette, std::string>, F&, std::uint32_t>;

// One image: its size, its pixel-format id and its pixels in that format.
struct Texture {
  // Largest RGBA8 output a block-compressed image may ask for. The block decoders size their
  // output from the dimensions alone, whatever data is stored, so without a bound a corrupt
  // or negative dimension would ask for gigabytes. 1 GiB is a 16384 x 16384 image.
  static constexpr std::uint64_t kMaxBlockDecodedBytes = std::uint64_t{1} << 30;

  std::uint32_t id = 0;
  std::uint32_t unknown = 0;  // the record's '_unknown' field, kept as read
  std::int32_t width = 0;     // not validated when decoded; to_rgba8 checks it
  std::int32_t height = 0;
  std::uint32_t format_raw = 0;  // kept as stored, listed or not; see format()
  std::int32_t length = 0;       // byte count of source_data, as stored
  Bytes source_data;
  std::optional<std::uint32_t> default_palette_id;  // stored only for the palettised formats

  [[nodiscard]] PixelFormat format() const noexcept { return pixel_format_from_raw(format_raw); }

  // Decodes one texture file, copying its pixel bytes once; bytes after the last field are
  // ignored. A negative length fails as an assertion at the position after it.
  [[nodiscard]] static std::expected<Texture, RecordReadError> unpack(ByteView bytes);

  // Converts the pixels to RGBA8: 4 * width * height bytes, row 0 first. Checks, first match
  // wins: DimensionOverflow, UnsupportedFormat, then for the palettised kinds
  // MissingPaletteId, PaletteFetch, ShortRead, PaletteIndexOutOfRange; for the direct kinds
  // ShortRead; for the block-compressed kinds ImageTooLarge. The provider is called at most
  // once, with default_palette_id, and whatever palette it returns is used.
  template <PaletteProvider Provider>
  [[nodiscard]] std::expected<Bytes, TextureDecodeError> to_rgba8(Provider&& provider) const {
    const auto pixels = rgba8_pixel_count();
    if (!pixels) return std::unexpected(pixels.error());
    const PixelFormat pixel_format = format();
    if (!pixel_format.palettised()) return rgba8_without_palette(pixel_format, *pixels);
    const auto image = indexed_image_of(provider, *pixels);
    if (!image) return std::unexpected(image.error());
    return rgba8_from_palette(*image);
  }

  // A palettised image as to_rgba8 looks it up: the palette that the provider returned and
  // the stored indices.
  struct IndexedImage {
    Palette palette;
    ByteView indices;             // the first bytes_per_index * pixels bytes of source_data
    std::size_t bytes_per_index;  // 1 for P8; 2 for Index16, little-endian
  };
  // For a texture of a palettised kind only: what to_rgba8 would look up, or the error it
  // would fail with before looking up any index, from the same checks in the same order
  // (DimensionOverflow, MissingPaletteId, PaletteFetch, ShortRead) and with the provider
  // called as to_rgba8 calls it. An index beyond the palette is PaletteIndexOutOfRange for
  // the caller to report.
  template <PaletteProvider Provider>
  [[nodiscard]] std::expected<IndexedImage, TextureDecodeError> indexed_image(Provider&& provider) const {
    if (!format().palettised()) std::abort();  // the caller's mistake, not the file's
    const auto pixels = rgba8_pixel_count();
    if (!pixels) return std::unexpected(pixels.error());
    return indexed_image_of(provider, *pixels);
  }

  // A block-compressed image as to_rgba8 hands it to its block decoder.
  struct BlockImage {
    DxtFormat format;
    ByteView data;         // source_data, which must outlive this
    std::uint32_t width;   // the stored dimensions read unsigned
    std::uint32_t height;
  };
  // For a texture of a block-compressed kind only: what to_rgba8 would decode, or the error
  // it would fail with, from the same checks in the same order (DimensionOverflow, then
  // ImageTooLarge). For a caller that wants something other than the RGBA8 buffer.
  [[nodiscard]] std::expected<BlockImage, TextureDecodeError> block_image() const;

  friend bool operator==(const Texture&, const Texture&) = default;

 private:
  // width * height with both sign-extended to 64 bits, or DimensionOverflow.
  [[nodiscard]] std::expected<std::uint64_t, TextureDecodeError> rgba8_pixel_count() const;
  // The unsupported, block-compressed and direct-colour kinds.
  [[nodiscard]] std::expected<Bytes, TextureDecodeError> rgba8_without_palette(PixelFormat pixel_format,
                                                                               std::uint64_t pixels) const;
  // The palettised kinds' checks after the pixel count.
  template <PaletteProvider Provider>
  [[nodiscard]] std::expected<IndexedImage, TextureDecodeError> indexed_image_of(Provider& provider,
                                                                               std::uint64_t pixels) const {
    if (!default_palette_id) return std::unexpected(TextureDecodeError::missing_palette_id());
    std::expected<Palette, std::string> palette = std::invoke(provider, *default_palette_id);
    if (!palette) return std::unexpected(TextureDecodeError::palette_fetch(std::move(palette.error())));
    return with_indices(std::move(*palette), pixels);
  }
  // The ShortRead check of the palettised kinds.
  [[nodiscard]] std::expected<IndexedImage, TextureDecodeError> with_indices(Palette palette,
                                                                           std::uint64_t pixels) const;
  [[nodiscard]] static std::expected<Bytes, TextureDecodeError> rgba8_from_palette(const IndexedImage& image);
};

}  // namespace dat
