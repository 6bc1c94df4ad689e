#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "error/record_read_error.h"
#include "reader/byte_cursor.h"
#include "utils/bytes.h"

namespace dat {

// The texture and palette a textured surface is mapped with.
struct TextureRefs {
  std::uint32_t orig_texture_id = 0;  // the SurfaceTexture record
  std::uint32_t orig_palette_id = 0;  // 0 when the surface names no palette of its own

  [[nodiscard]] static std::expected<TextureRefs, RecordReadError> read(ByteCursor& cursor);

  friend bool operator==(const TextureRefs&, const TextureRefs&) = default;
};

// How a surface is filled: with one solid colour, or with a texture. Exactly one of
// texture_refs and color_value is present, chosen by surface_type alone.
struct Surface {
  // Either of these two bits selects the textured form; no other bit matters here.
  static constexpr std::uint32_t kTexturedMask = 0x6;

  std::uint32_t surface_type = 0;
  std::optional<TextureRefs> texture_refs;
  std::optional<std::uint32_t> color_value;  // 0x..RRGGBB; the top byte is not used
  // Lighting values, kept bit for bit and not interpreted.
  float translucency = 0;
  float luminosity = 0;
  float diffuse = 0;

  [[nodiscard]] bool textured() const noexcept { return (surface_type & kTexturedMask) != 0; }

  // Decodes one surface file; bytes after the last field are ignored.
  [[nodiscard]] static std::expected<Surface, RecordReadError> unpack(ByteView bytes);
};

}  // namespace dat
