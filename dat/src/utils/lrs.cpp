#include "utils/lrs.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

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
  // Sized once at the most this stream can make, written in place and cut to what was made
  // at the end. Stopping at that size is stopping at the announced size: when the bound is
  // the smaller, the stream ends before anything more could be made.
  out.resize(reservation(announced, stream.size()));
  std::uint8_t* const o = out.data();
  const std::size_t full = out.size();
  std::size_t made = 0;
  const auto finish = [&]() -> Bytes {
    out.resize(made);
    return std::move(out);
  };

  std::size_t pos = 0;
  while (true) {
    const std::uint8_t flags = stream[pos++];
    // A flag byte with nothing after it announces an item that is not there.
    if (pos == stream.size()) return finish();

    // Eight literals with room for all of them, the usual group of incompressible bytes:
    // one copy. Neither end can come before the eighth.
    if (flags == 0 && stream.size() - pos >= 8 && full - made >= 8) {
      std::memcpy(o + made, stream.data() + pos, 8);
      made += 8;
      pos += 8;
      if (made == full || pos == stream.size()) return finish();
      continue;
    }

    // A whole group with room to spare: its eight items take at most 16 stream bytes and make
    // at most 8 * 17 bytes, so neither end can come inside it and its items need no checks
    // of their own. (The usual case, but for a stream's last few bytes.)
    if (stream.size() - pos >= 16 && full - made >= 8 * kMaxReferenceLength) {
      for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
        if ((flags & mask) == 0) {
          o[made++] = stream[pos++];
          continue;
        }
        const std::uint8_t b0 = stream[pos];
        const std::uint8_t b1 = stream[pos + 1];
        const std::size_t distance = b0 | (static_cast<std::size_t>(b1 >> 4) << 8);
        const std::size_t length = (b1 & 0x0Fu) + 2u;
        if (distance == 0 || made == 0) return finish();
        pos += 2;
        if (distance <= made && distance >= kMaxReferenceLength) {
          // A fixed-size copy, whatever the length: the bytes beyond it lie within the room
          // and are overwritten by what follows, or cut off at the end.
          std::memcpy(o + made, o + made - distance, kMaxReferenceLength);
          made += length;
        } else if (distance <= made && distance >= length) {
          std::memcpy(o + made, o + made - distance, length);
          made += length;
        } else {
          for (std::size_t i = 0; i < length; ++i, ++made) o[made] = o[made >= distance ? made - distance : 0];
        }
      }
      if (made == full || pos == stream.size()) return finish();
      continue;
    }

    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
      if ((flags & mask) != 0) {
        if (stream.size() - pos < 2) return finish();
        const std::uint8_t b0 = stream[pos];
        const std::uint8_t b1 = stream[pos + 1];
        // 12-bit distance: b0 is the low byte, b1's high nibble bits 8 to 11.
        const std::size_t distance = b0 | (static_cast<std::size_t>(b1 >> 4) << 8);
        const std::size_t length = (b1 & 0x0Fu) + 2u;
        if (distance == 0) return finish();  // the end marker
        // Nothing to copy from yet; stopping matches every other malformed end.
        if (made == 0) return finish();
        pos += 2;
        const std::size_t count = std::min(length, full - made);
        if (distance <= made && distance >= count) {
          // Source and destination apart: one copy.
          std::memcpy(o + made, o + made - distance, count);
          made += count;
        } else {
          // Byte by byte, so a reference may overlap the bytes it produces. A distance
          // beyond the output so far copies from its first byte.
          for (std::size_t i = 0; i < count; ++i, ++made) o[made] = o[made >= distance ? made - distance : 0];
        }
      } else {
        o[made++] = stream[pos++];
      }
      if (made == full || pos == stream.size()) return finish();
    }
  }
}

}  // namespace dat
