#include "huemark/surface_colour.h"

namespace huemark {

RunError describe(const ResolveError& error) {
  if (const auto* dat_error = std::get_if<dat::DatError>(&error)) return {dat_error->text(), dat_error->causes()};
  if (const auto* record_error = std::get_if<dat::RecordReadError>(&error)) return {record_error->text(), {}};
  return {std::get<std::string>(error), {}};
}

std::expected<ResolvedColour, ResolveError> resolve_surface(const dat::DatDatabase&, std::uint32_t) {
  return std::unexpected(std::string("surface records cannot be decoded yet"));
}

}  // namespace huemark
