#pragma once

// Shared by the fuzz harnesses and make_fuzz_seeds: the exactly sized copy every harness
// decodes from, and the layouts of the harnesses that draw parameters from their input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "file_type/texture.h"
#include "utils/bytes.h"

namespace dat::fuzz {

// The input in a heap block of exactly its size, so AddressSanitizer reports a read of
// even one byte past the end, whatever buffer the caller of the harness passed in.
class InputCopy {
 public:
  InputCopy(const std::uint8_t* data, std::size_t size) : bytes_(new std::uint8_t[size]), size_(size) {
    if (size != 0) std::copy(data, data + size, bytes_.get());
  }
  [[nodiscard]] ByteView view() const noexcept { return {bytes_.get(), size_}; }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_;
};

// Draws little-endian values from the front of the input; past the end every value is
// zero, so every input is a valid parameter set and the rest() is the payload.
class Draw {
 public:
  explicit Draw(ByteView data) : data_(data) {}

  std::uint8_t u8() { return static_cast<std::uint8_t>(take(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  [[nodiscard]] std::size_t remaining() const noexcept { return data_.size(); }
  // Everything not drawn yet.
  [[nodiscard]] ByteView rest() const noexcept { return data_; }

 private:
  std::uint64_t take(std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count && i < data_.size(); ++i) value |= std::uint64_t{data_[i]} << (8 * i);
    data_ = data_.subspan(std::min(count, data_.size()));
    return value;
  }

  ByteView data_;
};

// dxt_fuzzer: u8 format (0 DXT1, 1 DXT3, 2 DXT5, modulo 3), u32 width, u32 height, then the
// block data. Unless one of them is 0, both are taken modulo kMaxDxtSide + 1: the decoders
// size their output from the dimensions alone, and the bound keeps it at 4 MiB. An empty
// image keeps its other side whole, however large.
inline constexpr std::uint32_t kMaxDxtSide = 1024;

// to_rgba8_fuzzer: u32 format_raw, i32 width, i32 height, u8 palette flags, u32
// default_palette_id, u16 palette entry count, that many u32 palette colours (as many as
// are there), then source_data.
inline constexpr std::uint8_t kHasPaletteId = 1;  // the texture stores default_palette_id
inline constexpr std::uint8_t kProviderFails = 2;  // the provider answers with a failure

// A block-compressed texture that the conversion accepts but whose output is above 256 KiB
// (up to Texture::kMaxBlockDecodedBytes). It only runs the same block walk for longer,
// over mostly zero pixels, at a few executions a second; the harness skips it.
[[nodiscard]] inline bool slow_block_image(const Texture& texture) {
  const PixelFormatKind kind = texture.format().kind();
  if (kind != PixelFormatKind::Dxt1 && kind != PixelFormatKind::Dxt3 && kind != PixelFormatKind::Dxt5) return false;
  // As the conversion sizes it: both dimensions read unsigned, a product below 2^64.
  const std::uint64_t pixels = std::uint64_t{static_cast<std::uint32_t>(texture.width)} *
                               static_cast<std::uint32_t>(texture.height);
  return pixels > (std::uint64_t{1} << 16) && pixels <= Texture::kMaxBlockDecodedBytes / 4;
}

}  // namespace dat::fuzz
