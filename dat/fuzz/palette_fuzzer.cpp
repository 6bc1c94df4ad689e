// Decodes the input as a palette record.

#include <cstdlib>

#include "file_type/palette.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  const auto palette = dat::Palette::unpack(input.view());
  if (!palette) {
    (void)palette.error().text();
    return 0;
  }
  // Every colour came from the input: 8 fixed bytes, then 4 per colour.
  if (size < 8 || palette->colors.size() > (size - 8) / 4) std::abort();
  return 0;
}
