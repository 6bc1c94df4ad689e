// Converts a texture whose format, dimensions, palette id and pixel bytes come from the
// input, with a provider that answers with a palette or a failure also drawn from it.

#include <cstdlib>

#include "file_type/texture.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dat::fuzz::InputCopy input(data, size);
  dat::fuzz::Draw draw(input.view());
  dat::Texture texture;
  texture.format_raw = draw.u32();
  texture.width = draw.i32();
  texture.height = draw.i32();
  const std::uint8_t flags = draw.u8();
  const std::uint32_t palette_id = draw.u32();
  if ((flags & dat::fuzz::kHasPaletteId) != 0) texture.default_palette_id = palette_id;
  dat::Palette palette{.id = palette_id, .colors = {}};
  for (std::uint16_t n = draw.u16(); n > 0 && draw.remaining() >= 4; --n) palette.colors.push_back(draw.u32());
  texture.source_data.assign(draw.rest().begin(), draw.rest().end());
  texture.length = static_cast<std::int32_t>(texture.source_data.size());

  if (dat::fuzz::slow_block_image(texture)) return 0;

  int calls = 0;
  const auto rgba = texture.to_rgba8([&](std::uint32_t id) -> std::expected<dat::Palette, std::string> {
    if (++calls > 1 || id != palette_id) std::abort();
    if ((flags & dat::fuzz::kProviderFails) != 0) return std::unexpected("palette fetch failed on purpose");
    return palette;
  });
  if (!rgba) {
    (void)rgba.error().text();
    return 0;
  }
  // 4 bytes per pixel, with the dimensions sign-extended as the conversion counts them.
  const auto width = static_cast<std::uint64_t>(static_cast<std::int64_t>(texture.width));
  const auto height = static_cast<std::uint64_t>(static_cast<std::int64_t>(texture.height));
  if (rgba->size() / 4 != width * height || rgba->size() % 4 != 0) std::abort();
  return 0;
}
