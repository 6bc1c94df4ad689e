#pragma once

#include <cstdint>
#include <string>

namespace dat {

// The kinds of texel storage a texture record can name. Other stands for every id that
// has no kind of its own; the id is kept so it can still be reported.
enum class PixelFormatKind : std::uint8_t {
  Unknown,             // id 0
  R8G8B8,              // id 20: blue, green, red
  A8R8G8B8,            // id 21: blue, green, red, alpha
  R5G6B5,              // id 23
  A4R4G4B4,            // id 26
  A8,                  // id 28
  P8,                  // id 41: 8-bit palette index
  Index16,             // id 101: 16-bit little-endian palette index
  CustomLscapeR8G8B8,  // id 243: red, green, blue
  CustomLscapeAlpha,   // id 244
  Dxt1,                // FourCC "DXT1"
  Dxt3,                // FourCC "DXT3"
  Dxt5,                // FourCC "DXT5"
  Other,
};

// A texture's pixel format: its kind and the id it was decoded from. Made only by
// pixel_format_from_raw, so the id of a listed kind is always that kind's own id.
class PixelFormat {
 public:
  [[nodiscard]] PixelFormatKind kind() const noexcept { return kind_; }
  [[nodiscard]] std::uint32_t raw() const noexcept { return raw_; }
  // P8 and Index16 look their pixels up in a palette and store a default palette id.
  [[nodiscard]] bool palettised() const noexcept {
    return kind_ == PixelFormatKind::P8 || kind_ == PixelFormatKind::Index16;
  }
  // "Dxt1", "R5G6B5", or "Other(22)" for an id without a kind.
  [[nodiscard]] std::string name() const;

  friend bool operator==(const PixelFormat&, const PixelFormat&) = default;

 private:
  friend PixelFormat pixel_format_from_raw(std::uint32_t raw) noexcept;
  PixelFormat(PixelFormatKind kind, std::uint32_t raw) noexcept : kind_(kind), raw_(raw) {}

  PixelFormatKind kind_;
  std::uint32_t raw_;
};

// Every id decodes: a listed id to its kind, anything else to Other holding the id.
[[nodiscard]] PixelFormat pixel_format_from_raw(std::uint32_t raw) noexcept;

}  // namespace dat
