#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <variant>

#include "error/dat_error.h"
#include "error/record_read_error.h"
#include "file_type/palette.h"
#include "file_type/texture.h"
#include "huemark/colour.h"
#include "lib/dat_database.h"

namespace huemark {

enum class ColourSource { Solid, Textured };

struct ResolvedColour {
  Rgb colour;
  ColourSource source;
};

// Why one surface could not be resolved: the archive's, a record's or the texture
// decoder's error, or a message of our own. The run only counts these, so they stay the
// values they were raised as and are never formatted on the way.
using ResolveError = std::variant<dat::DatError, dat::RecordReadError, dat::TextureDecodeError, std::string>;

// The palette fetch behind the palette providers: file `palette_id` decoded as a Palette,
// or a text "0x<id>: <reason>".
[[nodiscard]] std::expected<dat::Palette, std::string> fetch_palette(const dat::DatDatabase& db,
                                                                     std::uint32_t palette_id);

// The dominant colour of `texture`. A palettised texture takes the surface's palette
// (`surface_palette_id`) when it names one, else the texture's own default palette.
[[nodiscard]] std::expected<Rgb, ResolveError> dominant_for(const dat::DatDatabase& db, const dat::Texture& texture,
                                                           std::uint32_t surface_palette_id);

// The surface's own solid colour, or the dominant colour of the last mip of its texture.
[[nodiscard]] std::expected<ResolvedColour, ResolveError> resolve_surface(const dat::DatDatabase& db,
                                                                         std::uint32_t surface_id);

}  // namespace huemark
