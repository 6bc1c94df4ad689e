#pragma once

#include <cstdint>
#include <expected>
#include <vector>

#include "error/record_read_error.h"
#include "utils/bytes.h"

namespace dat {

// The colour table a palettised texture indexes into.
struct Palette {
  std::uint32_t id = 0;
  std::vector<std::uint32_t> colors;  // entry i is index i's colour, packed 0xAARRGGBB

  // Decodes one palette file; bytes after the last entry are ignored. The entry count is
  // not checked against any format: indices are range-checked when a texture is converted.
  [[nodiscard]] static std::expected<Palette, RecordReadError> unpack(ByteView bytes);

  friend bool operator==(const Palette&, const Palette&) = default;
};

}  // namespace dat
