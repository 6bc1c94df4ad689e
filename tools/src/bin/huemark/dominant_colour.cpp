#include "huemark/dominant_colour.h"

#include <array>
#include <cstdint>
#include <memory>

namespace huemark {

Rgb dominant_colour(dat::ByteView rgba) {
  constexpr std::size_t kBuckets = 4096;
  std::array<std::uint32_t, kBuckets> counts{};
  struct Sums {
    std::uint64_t r, g, b;
  };
  const auto sums = std::make_unique<Sums[]>(kBuckets);  // zero-filled, 96 KiB: too big for the stack

  const std::size_t pixels = rgba.size() / 4;
  for (std::size_t k = 0; k < pixels; ++k) {
    const std::uint8_t* p = rgba.data() + 4 * k;
    if (p[3] < 128) continue;
    const std::size_t bucket = (std::size_t{p[0]} >> 4) * 256 + (std::size_t{p[1]} >> 4) * 16 + (p[2] >> 4);
    ++counts[bucket];
    sums[bucket].r += p[0];
    sums[bucket].g += p[1];
    sums[bucket].b += p[2];
  }

  std::size_t best = 0;
  for (std::size_t i = 1; i < kBuckets; ++i) {
    if (counts[i] >= counts[best]) best = i;
  }
  if (counts[best] == 0) return Rgb{128, 128, 128};
  const std::uint64_t count = counts[best];
  return Rgb{static_cast<std::uint8_t>(sums[best].r / count), static_cast<std::uint8_t>(sums[best].g / count),
             static_cast<std::uint8_t>(sums[best].b / count)};
}

}  // namespace huemark
