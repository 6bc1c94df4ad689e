#pragma once

#include "utils/bytes.h"

namespace dat {

// Expands the stored bytes of an LRS-compressed file: a little-endian u32 announced size,
// then groups of one flag byte (read from bit 7 down) and up to eight items, each a literal
// byte (bit clear) or a two-byte back-reference into the output (bit set). Never fails: an
// early end of the stream gives a shorter result.
[[nodiscard]] Bytes decompress_lrs(ByteView data);

}  // namespace dat
