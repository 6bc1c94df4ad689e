// Decodes the input as a surface-texture record.

#include <cstdlib>

#include "file_type/surface_texture.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  const auto record = dat::SurfaceTexture::unpack(input.view());
  if (!record) {
    (void)record.error().text();
    return 0;
  }
  // Every id came from the input: 13 fixed bytes, then 4 per id.
  if (size < 13 || record->textures.size() > (size - 13) / 4) std::abort();
  return 0;
}
