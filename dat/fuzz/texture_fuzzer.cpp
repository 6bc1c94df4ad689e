// Decodes the input as a texture record.

#include <cstdlib>

#include "file_type/texture.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  const auto texture = dat::Texture::unpack(input.view());
  if (!texture) {
    (void)texture.error().text();
    return 0;
  }
  // The pixel bytes are exactly `length`, and the palette id is there exactly when the format wants it.
  if (texture->length < 0 || texture->source_data.size() != static_cast<std::size_t>(texture->length)) std::abort();
  if (texture->default_palette_id.has_value() != texture->format().palettised()) std::abort();
  if (24 + texture->source_data.size() + (texture->default_palette_id ? 4 : 0) > size) std::abort();
  return 0;
}
