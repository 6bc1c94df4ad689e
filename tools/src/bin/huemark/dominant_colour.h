#pragma once

#include "huemark/colour.h"
#include "utils/bytes.h"

namespace huemark {

// The colour that best represents an RGBA8 image: pixels with alpha >= 128 are sorted
// into 4096 buckets by the top four bits of R, G and B; the fullest bucket wins (the
// highest index among equals) and its pixels' average, rounded down, is the result.
// An image without such pixels gives (128, 128, 128). Trailing bytes short of a whole
// pixel are ignored.
[[nodiscard]] Rgb dominant_colour(dat::ByteView rgba);

}  // namespace huemark
