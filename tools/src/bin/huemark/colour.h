#pragma once

#include <compare>
#include <cstdint>
#include <map>

namespace huemark {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;

  friend auto operator<=>(const Rgb&, const Rgb&) = default;
};

// Surface id to colour, kept in ascending id order: the order the JSON lists them in.
using ColourMap = std::map<std::uint32_t, Rgb>;

}  // namespace huemark
