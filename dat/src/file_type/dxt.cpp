#include "file_type/dxt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "file_type/dxt_block.h"

namespace dat {
namespace {

// One decoded block as four rows of 16 bytes: texel p's R, G, B, A at bytes 4p to 4p + 3.
using Tile = std::array<std::uint8_t, 4 * dxt::kTexelsPerBlock>;

void put_colors(Tile& tile, const dxt::ColorBlock& colors) noexcept {
  for (unsigned p = 0; p < dxt::kTexelsPerBlock; ++p) std::memcpy(tile.data() + 4 * p, colors.texel(p).data(), 4);
}

// The row-major RGBA8 output that the tiles go into.
class Image {
 public:
  Image(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height) noexcept
      : pixels_(pixels), width_(width), height_(height), stride_(std::size_t{4} * width) {}

  // Writes the tile of block (bx, by). Interior blocks copy four whole rows; an edge block
  // copies only the part inside the image, and its spare texels are dropped.
  void put(const Tile& tile, std::uint64_t bx, std::uint64_t by) const noexcept {
    const std::uint64_t x0 = 4 * bx;
    const std::uint64_t y0 = 4 * by;
    std::uint8_t* dst = pixels_ + y0 * stride_ + 4 * x0;
    if (x0 + 4 <= width_ && y0 + 4 <= height_) {
      for (std::size_t row = 0; row < 4; ++row) std::memcpy(dst + row * stride_, tile.data() + 16 * row, 16);
      return;
    }
    const std::size_t cols = std::min<std::uint64_t>(4, width_ - x0);
    const std::size_t rows = std::min<std::uint64_t>(4, height_ - y0);
    for (std::size_t row = 0; row < rows; ++row) std::memcpy(dst + row * stride_, tile.data() + 16 * row, 4 * cols);
  }

 private:
  std::uint8_t* pixels_;
  std::uint64_t width_;
  std::uint64_t height_;
  std::size_t stride_;
};

// 4 * width * height, which the unsigned 32-bit dimensions can push past 64 bits.
std::size_t output_size(std::uint32_t width, std::uint32_t height) {
  const std::uint64_t pixels = std::uint64_t{width} * height;  // < 2^64, cannot wrap
  if (pixels > std::numeric_limits<std::size_t>::max() / 4) {
    throw std::length_error("DXT output of 4 * width * height bytes does not fit in memory");
  }
  return static_cast<std::size_t>(pixels) * 4;
}

// Zeroes the output, then decodes block after block into it: `decode` turns one block of
// `BlockSize` bytes into a tile.
template <std::size_t BlockSize, typename Decode>
Bytes decode_blocks(ByteView data, std::uint32_t width, std::uint32_t height, Decode decode) {
  Bytes out(output_size(width, height));
  const Image image(out.data(), width, height);
  Tile tile;
  const auto put = [&](std::span<const std::uint8_t, BlockSize> block, std::uint64_t bx, std::uint64_t by) {
    decode(block, tile);
    image.put(tile, bx, by);
  };
  dxt::for_each_block<BlockSize>(data, width, height, put);
  return out;
}

}  // namespace

Bytes decompress_dxt1(ByteView data, std::uint32_t width, std::uint32_t height) {
  return decode_blocks<dxt::kDxt1BlockSize>(
      data, width, height, [](std::span<const std::uint8_t, dxt::kDxt1BlockSize> block, Tile& tile) {
        put_colors(tile, dxt::decode_color_block(block, dxt::ColorRule::Dxt1));
      });
}

Bytes decompress_dxt3(ByteView data, std::uint32_t width, std::uint32_t height) {
  return decode_blocks<dxt::kDxt3BlockSize>(
      data, width, height, [](std::span<const std::uint8_t, dxt::kDxt3BlockSize> block, Tile& tile) {
        put_colors(tile, dxt::decode_color_block(block.last<8>(), dxt::ColorRule::FourColor));
        const dxt::AlphaBlockBytes alpha = block.first<8>();
        for (unsigned p = 0; p < dxt::kTexelsPerBlock; ++p) tile[4 * p + 3] = dxt::dxt3_alpha(alpha, p);
      });
}

Bytes decompress_dxt5(ByteView data, std::uint32_t width, std::uint32_t height) {
  return decode_blocks<dxt::kDxt5BlockSize>(
      data, width, height, [](std::span<const std::uint8_t, dxt::kDxt5BlockSize> block, Tile& tile) {
        put_colors(tile, dxt::decode_color_block(block.last<8>(), dxt::ColorRule::FourColor));
        const dxt::Dxt5Alpha alpha = dxt::decode_dxt5_alpha(block.first<8>());
        for (unsigned p = 0; p < dxt::kTexelsPerBlock; ++p) tile[4 * p + 3] = alpha.texel(p);
      });
}

}  // namespace dat
