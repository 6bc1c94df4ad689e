#pragma once

#include <cstdint>

namespace dat::testing {

// SplitMix64: a fixed generator, so seeded layouts and data are the same with every standard
// library and on every machine (std::shuffle and the std distributions may differ from one
// library to the next).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // Close enough to uniform below `bound` (> 0) for test data and layouts.
  std::uint64_t below(std::uint64_t bound) { return next() % bound; }
  std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }

 private:
  std::uint64_t state_;
};

}  // namespace dat::testing
