// Runs one of the three block decoders on the input's block data, with a format and
// dimensions drawn from its first nine bytes.

#include <cstdlib>

#include "file_type/dxt.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  dat::fuzz::Draw draw(input.view());
  const unsigned format = draw.u8() % 3;
  std::uint32_t width = draw.u32();
  std::uint32_t height = draw.u32();
  if (width != 0 && height != 0) {
    width %= dat::fuzz::kMaxDxtSide + 1;
    height %= dat::fuzz::kMaxDxtSide + 1;
  }
  const dat::Bytes out = format == 0   ? dat::decompress_dxt1(draw.rest(), width, height)
                         : format == 1 ? dat::decompress_dxt3(draw.rest(), width, height)
                                       : dat::decompress_dxt5(draw.rest(), width, height);
  if (out.size() != std::size_t{4} * width * height) std::abort();
  // DXT1 alpha is all or nothing; DXT3 alpha is a 4-bit value times 17.
  for (std::size_t i = 3; i < out.size(); i += 4) {
    if (format == 0 && out[i] != 0 && out[i] != 255) std::abort();
    if (format == 1 && out[i] % 17 != 0) std::abort();
  }
  return 0;
}
