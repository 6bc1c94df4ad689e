#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace dat {

// An owned byte buffer: file data, pixel data, output text.
using Bytes = std::vector<std::uint8_t>;
// A read-only view of bytes that somebody else owns.
using ByteView = std::span<const std::uint8_t>;

// Little-endian loads from a view the caller has already bounds-checked.
[[nodiscard]] inline std::uint16_t load_u16le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
[[nodiscard]] inline std::uint32_t load_u32le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace dat
