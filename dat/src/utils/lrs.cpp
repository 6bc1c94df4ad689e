#include "utils/lrs.h"

#include <algorithm>
#include <cstdint>

namespace dat {
namespace {

constexpr std::size_t kSizePrefix = 4;
constexpr std::size_t kMaxReferenceLength = 17;

// The most output `stream` can make: a back-reference spends two stream bytes on at most
// 17 output bytes and a literal one byte on one, so no stream makes more than 8.5 bytes
// per byte. The announced size comes from the file and may be absurd; reserving beyond
// this bound would only waste memory (or fail) without changing the result.
std::size_t reservation(std::uint32_t announced, std::size_t stream_size) {
  if (stream_size >= announced) return announced;
  // stream_size < announced < 2^32, so the product cannot wrap.
  const std::uint64_t bound = kMaxReferenceLength * std::uint64_t{stream_size / 2} + stream_size % 2;
  return static_cast<std::size_t>(std::min<std::uint64_t>(announced, bound));
}

}  // namespace

Bytes decompress_lrs(ByteView data) {
  if (data.size() < kSizePrefix) return Bytes(data.begin(), data.end());
  const std::uint32_t announced = load_u32le(data.data());
  const ByteView stream = data.subspan(kSizePrefix);

  Bytes out;
  if (announced == 0 || stream.empty()) return out;
  // Every append below stays within this capacity, so the output never moves.
  out.reserve(reservation(announced, stream.size()));

  std::size_t pos = 0;
  while (true) {
    const std::uint8_t flags = stream[pos++];
    // A flag byte with nothing after it announces an item that is not there.
    if (pos == stream.size()) return out;

    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
      if ((flags & mask) != 0) {
        if (stream.size() - pos < 2) return out;
        const std::uint8_t b0 = stream[pos];
        const std::uint8_t b1 = stream[pos + 1];
        // 12-bit distance: b0 is the low byte, b1's high nibble bits 8 to 11.
        const std::size_t distance = b0 | (static_cast<std::size_t>(b1 >> 4) << 8);
        const std::size_t length = (b1 & 0x0Fu) + 2u;
        if (distance == 0) return out;  // the end marker
        // Nothing to copy from yet; stopping matches every other malformed end.
        if (out.empty()) return out;
        pos += 2;
        // Byte by byte, so a reference may overlap the bytes it produces. A distance
        // beyond the output so far copies from its first byte.
        for (std::size_t i = 0; i < length && out.size() < announced; ++i) {
          const std::size_t from = out.size() >= distance ? out.size() - distance : 0;
          const std::uint8_t byte = out[from];
          out.push_back(byte);
        }
      } else {
        out.push_back(stream[pos++]);
      }
      if (out.size() == announced || pos == stream.size()) return out;
    }
  }
}

}  // namespace dat
