#include "huemark/surface_colour.h"

#include <fmt/format.h>

#include "file_type/surface.h"
#include "file_type/surface_texture.h"
#include "huemark/dominant_colour.h"

namespace huemark {
namespace {

// Format ids of the palettised kinds, whose palette a surface may replace.
constexpr std::uint32_t kP8 = 41;
constexpr std::uint32_t kIndex16 = 101;

}  // namespace

std::expected<dat::Palette, std::string> fetch_palette(const dat::DatDatabase& db, std::uint32_t palette_id) {
  auto bytes = db.get_file(palette_id);
  if (!bytes) return std::unexpected(fmt::format("0x{:08X}: {}", palette_id, bytes.error().text()));
  auto palette = dat::Palette::unpack(*bytes);
  if (!palette) return std::unexpected(fmt::format("0x{:08X}: {}", palette_id, palette.error().text()));
  return std::move(*palette);
}

std::expected<Rgb, ResolveError> dominant_for(const dat::DatDatabase& db, const dat::Texture& texture,
                                              std::uint32_t surface_palette_id) {
  const bool palettised = texture.format_raw == kP8 || texture.format_raw == kIndex16;
  const auto surface_palette = [&](std::uint32_t) { return fetch_palette(db, surface_palette_id); };
  const auto asked_palette = [&](std::uint32_t asked) { return fetch_palette(db, asked); };
  auto colour = palettised && surface_palette_id != 0 ? dominant_colour_of_texture(texture, surface_palette)
                                                      : dominant_colour_of_texture(texture, asked_palette);
  if (!colour) return std::unexpected(std::move(colour.error()));
  return *colour;
}

std::expected<ResolvedColour, ResolveError> resolve_surface(const dat::DatDatabase& db, std::uint32_t surface_id) {
  auto surface_bytes = db.get_file(surface_id);
  if (!surface_bytes) return std::unexpected(std::move(surface_bytes.error()));
  auto surface = dat::Surface::unpack(*surface_bytes);
  if (!surface) return std::unexpected(std::move(surface.error()));

  if (surface->color_value) {
    const std::uint32_t c = *surface->color_value;
    const Rgb colour{static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                     static_cast<std::uint8_t>(c)};
    return ResolvedColour{colour, ColourSource::Solid};
  }
  if (!surface->texture_refs) return std::unexpected(std::string("neither solid nor textured"));
  const dat::TextureRefs refs = *surface->texture_refs;

  auto mips_bytes = db.get_file(refs.orig_texture_id);
  if (!mips_bytes) return std::unexpected(std::move(mips_bytes.error()));
  auto mips = dat::SurfaceTexture::unpack(*mips_bytes);
  if (!mips) return std::unexpected(std::move(mips.error()));
  if (mips->textures.empty()) return std::unexpected(std::string("SurfaceTexture has no mips"));

  auto texture_bytes = db.get_file(mips->textures.back());
  if (!texture_bytes) return std::unexpected(std::move(texture_bytes.error()));
  auto texture = dat::Texture::unpack(*texture_bytes);
  if (!texture) return std::unexpected(std::move(texture.error()));

  auto colour = dominant_for(db, *texture, refs.orig_palette_id);
  if (!colour) return std::unexpected(std::move(colour.error()));
  return ResolvedColour{*colour, ColourSource::Textured};
}

}  // namespace huemark
