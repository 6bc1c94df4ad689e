#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "utils/bytes.h"

namespace dat::testing {

// The pixel-format ids that texture records store in `format_raw`.
namespace format_id {
inline constexpr std::uint32_t kR8G8B8 = 20;
inline constexpr std::uint32_t kA8R8G8B8 = 21;
inline constexpr std::uint32_t kR5G6B5 = 23;
inline constexpr std::uint32_t kA8 = 28;
inline constexpr std::uint32_t kP8 = 41;
inline constexpr std::uint32_t kIndex16 = 101;
inline constexpr std::uint32_t kLscapeR8G8B8 = 243;
inline constexpr std::uint32_t kLscapeAlpha = 244;
inline constexpr std::uint32_t kDxt1 = 0x31545844;  // "DXT1" read as a little-endian u32
inline constexpr std::uint32_t kDxt3 = 0x33545844;
inline constexpr std::uint32_t kDxt5 = 0x35545844;
}  // namespace format_id

// Appends little-endian values to a byte buffer: the writing side of the record layouts,
// kept apart from the decoders so that tests check one against the other.
class ByteWriter {
 public:
  ByteWriter& u8(std::uint8_t value);
  ByteWriter& u16(std::uint16_t value);
  ByteWriter& u32(std::uint32_t value);
  ByteWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  ByteWriter& f32(float value);
  ByteWriter& bytes(ByteView data);
  ByteWriter& raw(std::initializer_list<std::uint8_t> data);
  ByteWriter& fill(std::size_t count, std::uint8_t value);

  [[nodiscard]] std::size_t size() const noexcept { return data_.size(); }

  [[nodiscard]] const Bytes& data() const& noexcept { return data_; }
  // Hands the bytes over, leaving the writer empty.
  [[nodiscard]] Bytes take() noexcept { return std::move(data_); }

 private:
  Bytes data_;
};

// Record files as the archive stores them.
[[nodiscard]] Bytes solid_surface(std::uint32_t color_value, std::uint32_t surface_type = 0);
[[nodiscard]] Bytes textured_surface(std::uint32_t orig_texture_id, std::uint32_t orig_palette_id,
                                     std::uint32_t surface_type = 2);
[[nodiscard]] Bytes surface_texture(std::uint32_t id, const std::vector<std::uint32_t>& textures);
// `length` is source.size(); the palette id is written only when given.
[[nodiscard]] Bytes texture(std::uint32_t id, std::int32_t width, std::int32_t height, std::uint32_t format_raw,
                            ByteView source, std::optional<std::uint32_t> default_palette_id = std::nullopt);
[[nodiscard]] Bytes palette(std::uint32_t id, const std::vector<std::uint32_t>& colors);

}  // namespace dat::testing
