#pragma once

#include <cstdint>

#include "utils/bytes.h"

namespace dat {

// Block decoders for the S3TC formats (DXT1, DXT3, DXT5; BC1 to BC3). Each returns an RGBA8 buffer of
// exactly 4 * width * height bytes, row by row. Blocks are decoded in order until the image
// is covered or `data` has no complete block left; pixels that no decoded block covers stay
// (0, 0, 0, 0), and bytes after the last block the image needs are ignored. They report no
// errors: short or empty data only leaves pixels at zero, and width or height 0 gives an
// empty buffer.
//
// The output is sized before `data` is looked at, so the caller makes sure that buffer is of
// a size it is willing to allocate. A size that does not fit in std::size_t throws
// std::length_error, as std::vector itself does for a size beyond its max_size().
// The three formats, for code that handles block-compressed images generically.
enum class DxtFormat : std::uint8_t { Dxt1, Dxt3, Dxt5 };

[[nodiscard]] Bytes decompress_dxt1(ByteView data, std::uint32_t width, std::uint32_t height);
[[nodiscard]] Bytes decompress_dxt3(ByteView data, std::uint32_t width, std::uint32_t height);
[[nodiscard]] Bytes decompress_dxt5(ByteView data, std::uint32_t width, std::uint32_t height);

}  // namespace dat
