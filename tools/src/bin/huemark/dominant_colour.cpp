#include "huemark/dominant_colour.h"

#include <array>
#include <cstdint>
#include <vector>

#include "file_type/dxt_block.h"

namespace huemark {
namespace {

namespace dxt = dat::dxt;
using dat::load_u16le;
using dat::load_u32le;

constexpr unsigned kMinAlpha = 128;  // a pixel at least half opaque counts

// The 4096 buckets, kept from image to image. Taking the answer visits only the buckets
// that were filled, and empties them again: a small image costs what it fills, not a
// 128 KiB clear and a scan of every bucket.
class Histogram {
 public:
  // Adds `count` pixels of colour (r, g, b).
  void add(unsigned r, unsigned g, unsigned b, std::uint32_t count) noexcept {
    // The top four bits of each channel, red the most significant.
    const unsigned index = (r >> 4) * 256 + (g >> 4) * 16 + (b >> 4);
    Bucket& bucket = buckets_[index];
    if (bucket.count == 0) filled_[filled_count_++] = static_cast<std::uint16_t>(index);
    bucket.count += count;
    bucket.r += std::uint64_t{r} * count;
    bucket.g += std::uint64_t{g} * count;
    bucket.b += std::uint64_t{b} * count;
  }

  // The fullest bucket's average, rounded down, the highest index winning a tie;
  // (128, 128, 128) when nothing was added. Leaves the histogram empty.
  [[nodiscard]] Rgb take_dominant() noexcept {
    if (filled_count_ == 0) return Rgb{128, 128, 128};
    // Only a filled bucket can win once one is filled, so the filled ones are all there is to compare.
    unsigned best = filled_[0];
    for (std::size_t i = 1; i < filled_count_; ++i) {
      const unsigned index = filled_[i];
      const std::uint64_t count = buckets_[index].count;
      if (count > buckets_[best].count || (count == buckets_[best].count && index > best)) best = index;
    }
    const Bucket& winner = buckets_[best];
    const Rgb colour{static_cast<std::uint8_t>(winner.r / winner.count),
                     static_cast<std::uint8_t>(winner.g / winner.count),
                     static_cast<std::uint8_t>(winner.b / winner.count)};
    for (std::size_t i = 0; i < filled_count_; ++i) buckets_[filled_[i]] = Bucket{};
    filled_count_ = 0;
    return colour;
  }

 private:
  static constexpr std::size_t kBuckets = 4096;

  struct Bucket {
    std::uint64_t count = 0;
    std::uint64_t r = 0, g = 0, b = 0;  // sums of the channels
  };

  std::array<Bucket, kBuckets> buckets_{};
  std::array<std::uint16_t, kBuckets> filled_{};  // indices of the non-empty buckets, in no order
  std::size_t filled_count_ = 0;
};

// One histogram per thread, empty between images.
Histogram& histogram() {
  static thread_local Histogram instance;
  return instance;
}

// For one byte of a colour index word, four texels of two bits each: how many of the four
// take each index, index i's count in bits 8i to 8i + 7. Four bytes' entries add up to a
// whole block's counts, at most 16 per field, so no field overflows into the next.
constexpr std::array<std::uint32_t, 256> kIndexCounts = [] {
  std::array<std::uint32_t, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (unsigned texel = 0; texel < 4; ++texel) table[byte] += 1u << (8 * ((byte >> (2 * texel)) & 3u));
  }
  return table;
}();

// How many of the texels in `counted` (bit p for texel p) take each colour index of
// `indices`, packed as in kIndexCounts.
std::uint32_t count_indices(std::uint32_t indices, unsigned counted) noexcept {
  if (counted == 0xFFFF) {
    return kIndexCounts[indices & 0xFF] + kIndexCounts[(indices >> 8) & 0xFF] + kIndexCounts[(indices >> 16) & 0xFF] +
           kIndexCounts[indices >> 24];
  }
  std::uint32_t packed = 0;
  for (unsigned p = 0; p < dxt::kTexelsPerBlock; ++p) {
    packed += ((counted >> p) & 1u) << (8 * ((indices >> (2 * p)) & 3u));
  }
  return packed;
}

// Adds the texels of one colour block that `counted` selects: each table entry once, with
// the number of those texels that take it. An entry whose own alpha is below the threshold
// (DXT1's transparent black) adds nothing.
// Inlined into each format's walk, so the decoded table need not go through memory.
[[gnu::always_inline]] inline void add_block(Histogram& histogram, const dxt::ColorBlock& colours,
                                             unsigned counted) noexcept {
  const std::uint32_t packed = count_indices(colours.indices, counted);
  for (unsigned entry = 0; entry < 4; ++entry) {
    const std::uint32_t count = (packed >> (8 * entry)) & 0xFF;
    const dxt::Rgba& colour = colours.table[entry];
    if (count != 0 && colour[3] >= kMinAlpha) histogram.add(colour[0], colour[1], colour[2], count);
  }
}

// The texels of `inside` whose DXT3 alpha counts. A nibble v gives alpha 17 * v, which is
// at least 128 exactly when v >= 8, that is when the nibble's top bit is set; texel p's
// nibble is bits 4p to 4p + 3 of the little-endian alpha word.
unsigned dxt3_counted(dxt::AlphaBlockBytes alpha, unsigned inside) noexcept {
  const std::uint64_t word = load_u32le(alpha.data()) | (std::uint64_t{load_u32le(alpha.data() + 4)} << 32);
  // Gathers bit 4p + 3 into bit p: each step halves the spacing of the bits it keeps.
  std::uint64_t bits = (word >> 3) & 0x1111111111111111u;
  bits = (bits | (bits >> 3)) & 0x0303030303030303u;
  bits = (bits | (bits >> 6)) & 0x000F000F000F000Fu;
  bits = (bits | (bits >> 12)) & 0x000000FF000000FFu;
  bits = (bits | (bits >> 24)) & 0xFFFFu;
  return inside & static_cast<unsigned>(bits);
}

// Which of the eight DXT5 alpha table entries count, bit i for entry i. The interpolated
// entries never leave the range between A0 and A1 (each is a weighted mean of the two,
// rounded down, and the weights add up), so when both endpoints fall on one side of the
// threshold the whole ramp does; six-value mode's entries 6 and 7 are 0 and 255. Only
// endpoints on both sides need the table itself.
unsigned dxt5_entries_counted(dxt::AlphaBlockBytes block) noexcept {
  const unsigned a0 = block[0];
  const unsigned a1 = block[1];
  const bool eight_values = a0 > a1;
  const unsigned low = eight_values ? a1 : a0;
  const unsigned high = eight_values ? a0 : a1;
  if (low >= kMinAlpha) return eight_values ? 0xFF : 0xBF;
  if (high < kMinAlpha) return eight_values ? 0x00 : 0x80;
  const dxt::Dxt5Alpha alpha = dxt::decode_dxt5_alpha(block);
  unsigned entries = 0;
  for (unsigned i = 0; i < 8; ++i) entries |= unsigned{alpha.table[i] >= kMinAlpha} << i;
  return entries;
}

// The texels of `inside` whose DXT5 alpha counts.
unsigned dxt5_counted(dxt::AlphaBlockBytes block, unsigned inside) noexcept {
  const unsigned entries = dxt5_entries_counted(block);
  if (entries == 0xFF) return inside;
  if (entries == 0) return 0;
  // Bytes 2 to 7: the 48-bit little-endian index word, three bits per texel.
  std::uint64_t indices = load_u16le(block.data() + 2) | (std::uint64_t{load_u32le(block.data() + 4)} << 16);
  unsigned counted = 0;
  for (unsigned p = 0; p < dxt::kTexelsPerBlock; ++p, indices >>= 3) counted |= ((entries >> (indices & 7)) & 1u) << p;
  return inside & counted;
}

}  // namespace

Rgb dominant_colour(dat::ByteView rgba) {
  Histogram& buckets = histogram();
  const std::size_t pixels = rgba.size() / 4;
  for (std::size_t k = 0; k < pixels; ++k) {
    const std::uint8_t* p = rgba.data() + 4 * k;
    if (p[3] >= kMinAlpha) buckets.add(p[0], p[1], p[2], 1);
  }
  return buckets.take_dominant();
}

Rgb dominant_colour(const dat::Texture::BlockImage& image) {
  Histogram& buckets = histogram();
  const auto inside = [&](std::uint64_t bx, std::uint64_t by) {
    return unsigned{dxt::texels_inside(bx, by, image.width, image.height)};
  };
  switch (image.format) {
    case dat::DxtFormat::Dxt1:
      dxt::for_each_block<dxt::kDxt1BlockSize>(
          image.data, image.width, image.height,
          [&](std::span<const std::uint8_t, dxt::kDxt1BlockSize> block, std::uint64_t bx, std::uint64_t by) {
            add_block(buckets, dxt::decode_color_block(block, dxt::ColorRule::Dxt1), inside(bx, by));
          });
      break;
    case dat::DxtFormat::Dxt3:
      dxt::for_each_block<dxt::kDxt3BlockSize>(
          image.data, image.width, image.height,
          [&](std::span<const std::uint8_t, dxt::kDxt3BlockSize> block, std::uint64_t bx, std::uint64_t by) {
            const unsigned counted = dxt3_counted(block.first<8>(), inside(bx, by));
            if (counted != 0) {
              add_block(buckets, dxt::decode_color_block(block.last<8>(), dxt::ColorRule::FourColor), counted);
            }
          });
      break;
    case dat::DxtFormat::Dxt5:
      dxt::for_each_block<dxt::kDxt5BlockSize>(
          image.data, image.width, image.height,
          [&](std::span<const std::uint8_t, dxt::kDxt5BlockSize> block, std::uint64_t bx, std::uint64_t by) {
            const unsigned counted = dxt5_counted(block.first<8>(), inside(bx, by));
            if (counted != 0) {
              add_block(buckets, dxt::decode_color_block(block.last<8>(), dxt::ColorRule::FourColor), counted);
            }
          });
      break;
  }
  return buckets.take_dominant();
}

std::expected<Rgb, dat::TextureDecodeError> dominant_colour(const dat::Texture::IndexedImage& image) {
  const std::vector<std::uint32_t>& colours = image.palette.colors;
  Histogram& buckets = histogram();
  // Palette entries are 0xAARRGGBB.
  const auto add = [&](std::uint32_t colour, std::uint32_t count) {
    if ((colour >> 24) >= kMinAlpha) buckets.add((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF, count);
  };
  const auto out_of_range = [] { return std::unexpected(dat::TextureDecodeError::palette_index_out_of_range()); };

  if (image.bytes_per_index == 1) {
    // How many pixels take each entry; then each entry in use is added once.
    std::array<std::uint32_t, 256> uses{};
    for (const std::uint8_t index : image.indices) ++uses[index];
    for (std::size_t index = colours.size(); index < uses.size(); ++index) {
      if (uses[index] != 0) return out_of_range();
    }
    for (std::size_t index = 0; index < uses.size() && index < colours.size(); ++index) {
      if (uses[index] != 0) add(colours[index], uses[index]);
    }
  } else {
    // 65,536 possible entries: looked up pixel by pixel, after a pass that finds any index
    // beyond the palette, so that a failing image adds nothing.
    const std::size_t pixels = image.indices.size() / 2;
    for (std::size_t i = 0; i < pixels; ++i) {
      if (load_u16le(image.indices.data() + 2 * i) >= colours.size()) return out_of_range();
    }
    for (std::size_t i = 0; i < pixels; ++i) add(colours[load_u16le(image.indices.data() + 2 * i)], 1);
  }
  return buckets.take_dominant();
}

}  // namespace huemark
