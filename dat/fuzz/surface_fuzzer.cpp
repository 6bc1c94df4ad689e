// Decodes the input as a surface record.

#include <cstdlib>

#include "file_type/surface.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  const auto surface = dat::Surface::unpack(input.view());
  if (!surface) {
    (void)surface.error().text();
    return 0;
  }
  // Exactly one of the two forms, as surface_type chooses.
  if (surface->texture_refs.has_value() != surface->textured()) std::abort();
  if (surface->color_value.has_value() == surface->textured()) std::abort();
  if (size < (surface->textured() ? 24u : 20u)) std::abort();
  return 0;
}
