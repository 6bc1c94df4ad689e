#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "error/record_read_error.h"
#include "utils/bytes.h"

namespace dat {

// The texture records that make up a textured surface's texture, one per mip level.
struct SurfaceTexture {
  std::uint32_t id = 0;
  std::uint32_t unknown_int = 0;        // kept as read, not interpreted
  std::uint8_t unknown_byte = 0;        // kept as read, not interpreted
  std::vector<std::uint32_t> textures;  // Texture file ids in file order

  // Decodes one surface-texture file. The list's count follows the single byte, so it sits
  // at the odd offset 9; bytes after the last id are ignored.
  [[nodiscard]] static std::expected<SurfaceTexture, RecordReadError> unpack(ByteView bytes);

  friend bool operator==(const SurfaceTexture&, const SurfaceTexture&) = default;
};

}  // namespace dat
