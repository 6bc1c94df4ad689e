#include "utils/lossy_utf8.h"

#include <cstdint>

namespace dat {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct SequenceShape {
  int length;             // 0: not a lead byte
  std::uint8_t second_lo;  // allowed range of the second byte
  std::uint8_t second_hi;
};

SequenceShape shape_of(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    const SequenceShape shape = shape_of(lead);
    if (shape.length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    // Take continuation bytes while they fit the sequence; stop at the first that does not.
    std::size_t taken = 1;
    while (taken < static_cast<std::size_t>(shape.length) && i + taken < bytes.size()) {
      const auto next = static_cast<std::uint8_t>(bytes[i + taken]);
      const std::uint8_t lo = taken == 1 ? shape.second_lo : 0x80;
      const std::uint8_t hi = taken == 1 ? shape.second_hi : 0xBF;
      if (next < lo || next > hi) break;
      ++taken;
    }
    if (taken == static_cast<std::size_t>(shape.length)) {
      out.append(bytes.substr(i, taken));
    } else {
      out += kReplacement;
    }
    i += taken;
  }
  return out;
}

}  // namespace dat
