#pragma once

#include "utils/bytes.h"

namespace dat::testing {

// Compresses `plain` into the LRS form that decompress_lrs expands back to `plain`: the
// size as a little-endian u32, then flag-byte groups of literals and back-references.
// Greedy, deterministic and fast enough for megabytes; it aims at correct streams with
// real back-references (every length 2 to 17, distances up to 4095), not at the best
// ratio. Throws std::length_error for input beyond what a u32 size can announce.
[[nodiscard]] Bytes compress_lrs(ByteView plain);

}  // namespace dat::testing
