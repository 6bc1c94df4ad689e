#pragma once

// The per-block pieces of the S3TC decoders (DXT1, DXT3, DXT5). Each decodes one block's
// table(s) once, together with its index word, and leaves the 16 texels to the caller:
// dxt.cpp writes them as a 4x4 tile into the image, a fused decode-and-count path can
// look them up directly. One colour-block routine serves all three formats; the alpha
// half has one small routine per format.
//
// Every routine reads a block the caller has already bounds-checked; the fixed-extent span
// states how many bytes that is. Texel p (0 to 15) is column p % 4, row p / 4 of the block.
// for_each_block is the walk over an image's blocks that both share.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "utils/bytes.h"

namespace dat::dxt {

inline constexpr std::size_t kDxt1BlockSize = 8;   // colour block only
inline constexpr std::size_t kDxt3BlockSize = 16;  // explicit alpha, then colour block
inline constexpr std::size_t kDxt5BlockSize = 16;  // interpolated alpha, then colour block
inline constexpr unsigned kTexelsPerBlock = 16;

// The 8-byte colour half (all of DXT1) and the 8-byte alpha half of DXT3 and DXT5.
using ColorBlockBytes = std::span<const std::uint8_t, 8>;
using AlphaBlockBytes = std::span<const std::uint8_t, 8>;

// One texel's R, G, B, A.
using Rgba = std::array<std::uint8_t, 4>;

// 5-bit channel to 8 bits: close to v * 255 / 31 rounded, but 20, 25 and 29 give 164, 205
// and 238 (one less), and 3 gives 25 where bit replication would give 24.
[[nodiscard]] constexpr std::uint8_t expand5(unsigned v) noexcept {
  const unsigned t = 255 * v + 16;
  return static_cast<std::uint8_t>((t + (t >> 5)) >> 5);
}

// 6-bit channel to 8 bits: close to v * 255 / 63 rounded, but 53 gives 214 (one less).
[[nodiscard]] constexpr std::uint8_t expand6(unsigned v) noexcept {
  const unsigned t = 255 * v + 32;
  return static_cast<std::uint8_t>((t + (t >> 6)) >> 6);
}

// Which colour table a colour block builds.
enum class ColorRule : std::uint8_t {
  Dxt1,       // four colours when raw colour 0 > raw colour 1, else three plus transparent black
  FourColor,  // always four colours, whatever the order (the colour half of DXT3 and DXT5)
};

// A decoded colour block: its four-entry table and the 2-bit index of every texel.
struct ColorBlock {
  std::array<Rgba, 4> table;
  std::uint32_t indices;  // texel p's index in bits 2p and 2p + 1

  [[nodiscard]] constexpr unsigned index(unsigned p) const noexcept { return (indices >> (2 * p)) & 0x3u; }
  [[nodiscard]] constexpr const Rgba& texel(unsigned p) const noexcept { return table[index(p)]; }
};

[[nodiscard]] inline ColorBlock decode_color_block(ColorBlockBytes block, ColorRule rule) noexcept {
  // Stored 5:6:5: red in bits 11 to 15, green in bits 5 to 10, blue in bits 0 to 4.
  const std::uint16_t c0 = load_u16le(block.data());
  const std::uint16_t c1 = load_u16le(block.data() + 2);
  const unsigned r0 = expand5(c0 >> 11), g0 = expand6((c0 >> 5) & 0x3Fu), b0 = expand5(c0 & 0x1Fu);
  const unsigned r1 = expand5(c1 >> 11), g1 = expand6((c1 >> 5) & 0x3Fu), b1 = expand5(c1 & 0x1Fu);
  const auto rgba = [](unsigned r, unsigned g, unsigned b, unsigned a) {
    return Rgba{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b),
                static_cast<std::uint8_t>(a)};
  };

  ColorBlock out;
  out.indices = load_u32le(block.data() + 4);
  out.table[0] = rgba(r0, g0, b0, 255);
  out.table[1] = rgba(r1, g1, b1, 255);
  // DXT1 compares the raw 16-bit values, not the expanded colours.
  if (rule == ColorRule::FourColor || c0 > c1) {
    // 2/3*C0 + 1/3*C1 and 1/3*C0 + 2/3*C1, truncated.
    out.table[2] = rgba((2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3, 255);
    out.table[3] = rgba((r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3, 255);
  } else {
    // 1/2*C0 + 1/2*C1, truncated; index 3 is transparent black.
    out.table[2] = rgba((r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2, 255);
    out.table[3] = rgba(0, 0, 0, 0);
  }
  return out;
}

// DXT3: texel p's explicit alpha. Its 4-bit value sits in byte p / 2, low nibble for even p,
// high nibble for odd p; v * 17 scales it to 8 bits (0 gives 0, 15 gives 255).
[[nodiscard]] constexpr std::uint8_t dxt3_alpha(AlphaBlockBytes block, unsigned p) noexcept {
  const unsigned nibble = (block[p / 2] >> (4 * (p % 2))) & 0x0Fu;
  return static_cast<std::uint8_t>(nibble * 17);
}

// A decoded DXT5 alpha half: its eight-entry table and the 3-bit index of every texel.
struct Dxt5Alpha {
  std::array<std::uint8_t, 8> table;
  std::uint64_t indices;  // texel p's index in bits 3p to 3p + 2 (48 bits used)

  [[nodiscard]] constexpr unsigned index(unsigned p) const noexcept {
    return static_cast<unsigned>(indices >> (3 * p)) & 0x7u;
  }
  [[nodiscard]] constexpr std::uint8_t texel(unsigned p) const noexcept { return table[index(p)]; }
};

[[nodiscard]] inline Dxt5Alpha decode_dxt5_alpha(AlphaBlockBytes block) noexcept {
  const unsigned a0 = block[0];
  const unsigned a1 = block[1];

  Dxt5Alpha out;
  // Bytes 2 to 7: the 48-bit little-endian index word.
  out.indices = load_u16le(block.data() + 2) | (std::uint64_t{load_u32le(block.data() + 4)} << 16);
  out.table[0] = static_cast<std::uint8_t>(a0);
  out.table[1] = static_cast<std::uint8_t>(a1);
  if (a0 > a1) {
    // Eight values: ((8 - i) * A0 + (i - 1) * A1) / 7 for i = 2 to 7, truncated.
    for (unsigned i = 2; i < 8; ++i) out.table[i] = static_cast<std::uint8_t>(((8 - i) * a0 + (i - 1) * a1) / 7);
  } else {
    // Six values: ((6 - i) * A0 + (i - 1) * A1) / 5 for i = 2 to 5, truncated; then 0 and 255.
    for (unsigned i = 2; i < 6; ++i) out.table[i] = static_cast<std::uint8_t>(((6 - i) * a0 + (i - 1) * a1) / 5);
    out.table[6] = 0;
    out.table[7] = 255;
  }
  return out;
}

// Which texels of block (bx, by) lie inside a width x height image: bit p for texel p. All
// 16 for an interior block; an edge block drops the columns and rows beyond the image.
[[nodiscard]] constexpr std::uint16_t texels_inside(std::uint64_t bx, std::uint64_t by, std::uint64_t width,
                                                    std::uint64_t height) noexcept {
  const std::uint64_t x0 = 4 * bx;
  const std::uint64_t y0 = 4 * by;
  if (x0 + 4 <= width && y0 + 4 <= height) return 0xFFFF;
  const std::uint64_t cols = std::min<std::uint64_t>(4, width - x0);
  const std::uint64_t rows = std::min<std::uint64_t>(4, height - y0);
  const unsigned row = (1u << cols) - 1;  // the first `cols` texels of a row
  unsigned inside = 0;
  for (std::uint64_t r = 0; r < rows; ++r) inside |= row << (4 * r);
  return static_cast<std::uint16_t>(inside);
}

// The walk of a width x height image stored as BlockSize-byte blocks: block rows top to
// bottom, blocks left to right, block k at bytes k * BlockSize on. It calls
// visit(block bytes, bx, by) for each block until the image is covered or `data` has no
// complete block left; bytes after the last block the image needs are never looked at. The
// block counts are 64-bit, so a dimension near 2^32 does not wrap.
template <std::size_t BlockSize, typename Visit>
void for_each_block(ByteView data, std::uint32_t width, std::uint32_t height, Visit&& visit) {
  const std::uint64_t blocks_per_row = (std::uint64_t{width} + 3) / 4;
  const std::uint64_t block_rows = (std::uint64_t{height} + 3) / 4;
  // A zero width would otherwise still step through up to 2^30 empty block rows.
  if (blocks_per_row == 0 || block_rows == 0) return;
  std::size_t offset = 0;
  for (std::uint64_t by = 0; by < block_rows; ++by) {
    for (std::uint64_t bx = 0; bx < blocks_per_row; ++bx) {
      if (data.size() - offset < BlockSize) return;  // an incomplete block ends the walk
      visit(data.subspan(offset).template first<BlockSize>(), bx, by);
      offset += BlockSize;
    }
  }
}

}  // namespace dat::dxt
