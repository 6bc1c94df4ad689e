#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "utils/bytes.h"

namespace dat::testing {

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
