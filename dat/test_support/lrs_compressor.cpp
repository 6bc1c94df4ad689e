#include "lrs_compressor.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace dat::testing {
namespace {

constexpr std::size_t kMinLength = 2;
constexpr std::size_t kMaxLength = 17;
constexpr std::size_t kMaxDistance = 4095;
// Candidates tried per position: enough to find long matches in repetitive data, small
// enough that a megabyte of it compresses in well under a second.
constexpr std::size_t kChainLimit = 32;
constexpr std::uint32_t kNoPosition = std::numeric_limits<std::uint32_t>::max();

// Appends items to the stream, opening a new flag byte before every eighth item. No flag
// byte is written ahead of need: the decoder stops once it has the announced size.
class StreamWriter {
 public:
  explicit StreamWriter(Bytes& out) : out_(out) {}

  void literal(std::uint8_t byte) {
    open_item(false);
    out_.push_back(byte);
  }

  void reference(std::size_t distance, std::size_t length) {
    open_item(true);
    // b0 holds the distance's low 8 bits; b1 its bits 8 to 11 above the length minus 2.
    out_.push_back(static_cast<std::uint8_t>(distance & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(((distance >> 8) << 4) | (length - kMinLength)));
  }

 private:
  void open_item(bool is_reference) {
    if (items_ == 8) {
      flag_at_ = out_.size();
      out_.push_back(0);
      items_ = 0;
    }
    if (is_reference) out_[flag_at_] = static_cast<std::uint8_t>(out_[flag_at_] | (0x80u >> items_));
    ++items_;
  }

  Bytes& out_;
  std::size_t flag_at_ = 0;
  unsigned items_ = 8;
};

}  // namespace

Bytes compress_lrs(ByteView plain) {
  if (plain.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("compress_lrs: input too large for a u32 announced size");
  }
  const auto size = static_cast<std::uint32_t>(plain.size());
  Bytes out{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
  StreamWriter stream(out);

  // Hash chains keyed by the two bytes at a position, so matches of length 2 are found
  // too: head[key] is the latest position with that key, previous[p] the one before p.
  std::vector<std::uint32_t> head(std::size_t{1} << 16, kNoPosition);
  std::vector<std::uint32_t> previous(plain.size(), kNoPosition);
  const auto key = [&](std::size_t pos) { return plain[pos] | (plain[pos + 1] << 8); };
  const auto remember = [&](std::size_t pos) {
    if (plain.size() - pos < kMinLength) return;
    previous[pos] = head[key(pos)];
    head[key(pos)] = static_cast<std::uint32_t>(pos);
  };

  std::size_t pos = 0;
  while (pos < plain.size()) {
    std::size_t best_length = 0;
    std::size_t best_distance = 0;
    if (plain.size() - pos >= kMinLength) {
      const std::size_t longest = std::min(kMaxLength, plain.size() - pos);
      std::uint32_t candidate = head[key(pos)];
      // Chains run from near to far, so the first distance beyond reach ends the search,
      // and on equal lengths the nearer match wins.
      for (std::size_t tries = 0; candidate != kNoPosition && tries < kChainLimit; ++tries) {
        const std::size_t distance = pos - candidate;
        if (distance > kMaxDistance) break;
        std::size_t length = 0;
        while (length < longest && plain[candidate + length] == plain[pos + length]) ++length;
        if (length > best_length) {
          best_length = length;
          best_distance = distance;
          if (length == longest) break;
        }
        candidate = previous[candidate];
      }
    }

    if (best_length >= kMinLength) {
      stream.reference(best_distance, best_length);
      for (std::size_t i = 0; i < best_length; ++i) remember(pos + i);
      pos += best_length;
    } else {
      stream.literal(plain[pos]);
      remember(pos);
      ++pos;
    }
  }
  return out;
}

}  // namespace dat::testing
