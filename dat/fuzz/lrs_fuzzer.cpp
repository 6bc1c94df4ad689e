// Expands the input as LRS-compressed file data.

#include <algorithm>
#include <cstdlib>

#include "fuzz_input.h"
#include "utils/lrs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  const dat::Bytes out = dat::decompress_lrs(input.view());
  if (size < 4) {
    // Too short for the size prefix: handed back unchanged.
    if (!std::equal(out.begin(), out.end(), data, data + size)) std::abort();
    return 0;
  }
  // Never more than announced, and never more than 17 bytes per 2 stream bytes.
  if (out.size() > dat::load_u32le(input.view().data())) std::abort();
  if (out.size() > 17 * ((size - 4) / 2) + (size - 4) % 2) std::abort();
  return 0;
}
