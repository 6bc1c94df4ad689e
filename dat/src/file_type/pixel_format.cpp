#include "file_type/pixel_format.h"

#include <cstdlib>

#include <fmt/format.h>

namespace dat {
namespace {

// The block-compressed ids are the ASCII letters "DXTn" read as a little-endian u32.
constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) |
         (static_cast<std::uint32_t>(c) << 16) | (static_cast<std::uint32_t>(d) << 24);
}

constexpr std::uint32_t kDxt1 = fourcc('D', 'X', 'T', '1');
constexpr std::uint32_t kDxt3 = fourcc('D', 'X', 'T', '3');
constexpr std::uint32_t kDxt5 = fourcc('D', 'X', 'T', '5');
static_assert(kDxt1 == 0x31545844 && kDxt3 == 0x33545844 && kDxt5 == 0x35545844);

}  // namespace

PixelFormat pixel_format_from_raw(std::uint32_t raw) noexcept {
  using K = PixelFormatKind;
  switch (raw) {
    case 0: return {K::Unknown, raw};
    case 20: return {K::R8G8B8, raw};
    case 21: return {K::A8R8G8B8, raw};
    case 23: return {K::R5G6B5, raw};
    case 26: return {K::A4R4G4B4, raw};
    case 28: return {K::A8, raw};
    case 41: return {K::P8, raw};
    case 101: return {K::Index16, raw};
    case 243: return {K::CustomLscapeR8G8B8, raw};
    case 244: return {K::CustomLscapeAlpha, raw};
    case kDxt1: return {K::Dxt1, raw};
    case kDxt3: return {K::Dxt3, raw};
    case kDxt5: return {K::Dxt5, raw};
    default: return {K::Other, raw};
  }
}

std::string PixelFormat::name() const {
  using K = PixelFormatKind;
  switch (kind_) {
    case K::Unknown: return "Unknown";
    case K::R8G8B8: return "R8G8B8";
    case K::A8R8G8B8: return "A8R8G8B8";
    case K::R5G6B5: return "R5G6B5";
    case K::A4R4G4B4: return "A4R4G4B4";
    case K::A8: return "A8";
    case K::P8: return "P8";
    case K::Index16: return "Index16";
    case K::CustomLscapeR8G8B8: return "CustomLscapeR8G8B8";
    case K::CustomLscapeAlpha: return "CustomLscapeAlpha";
    case K::Dxt1: return "Dxt1";
    case K::Dxt3: return "Dxt3";
    case K::Dxt5: return "Dxt5";
    case K::Other: return fmt::format("Other({})", raw_);
  }
  std::abort();
}

}  // namespace dat
