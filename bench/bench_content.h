#pragma once

// Seeded, varied pixel data for the benchmark archive and the micro-benchmarks. Constant
// blocks would let a histogram or a cache look better than it is on real textures, so every
// block gets its own endpoints and indices, drawn around a texture's two base colours.

#include <cstdint>
#include <vector>

#include "split_mix.h"
#include "utils/bytes.h"

namespace bench {

enum class TextureKind { Dxt1, Dxt3, Dxt5, P8, R8G8B8, A8R8G8B8 };

// The texture record's format id for `kind`.
[[nodiscard]] std::uint32_t format_raw(TextureKind kind);

// The stored pixels of a width x height texture: whole blocks for the DXT kinds, one byte
// per pixel (a palette index) for P8, three or four bytes per pixel for the direct kinds.
// DXT1 has some three-colour blocks (transparent texels), DXT3 and DXT5 some translucent
// texels; the direct kinds' alpha is mostly opaque.
[[nodiscard]] dat::Bytes texture_pixels(TextureKind kind, std::uint32_t width, std::uint32_t height,
                                        dat::testing::Random& random);

// 256 palette colours, 0xAARRGGBB, around one base colour, a few of them translucent.
[[nodiscard]] std::vector<std::uint32_t> palette_colours(dat::testing::Random& random);

}  // namespace bench
