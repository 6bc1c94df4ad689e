#include "huemark/cli.h"

#include <charconv>
#include <string>

#include <CLI/CLI.hpp>

namespace huemark {
namespace {

constexpr const char* kAbout = "Emit per-surface dominant-colour JSON for the quorrel fill path";
constexpr const char* kDefaultPortalDat = "/home/fenmoor/ac_base_dats/client_portal.dat";
constexpr const char* kDefaultOut = "apps/mirewold-web/data/huemark.json";

}  // namespace

std::optional<std::uint64_t> parse_limit(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::variant<Cli, int> parse_cli(int argc, const char* const* argv) {
  CLI::App app{kAbout, "mirewold-tools"};
  std::string portal_dat = kDefaultPortalDat;
  std::string out = kDefaultOut;
  // Taken as text and parsed here: the parser's own conversion would wrap -1, saturate
  // on overflow and read 0x10 or 010 as hexadecimal or octal.
  std::string limit = "0";

  app.add_option("--portal-dat", portal_dat, "Path to the retail client_portal.dat (surfaces live here)")
      ->type_name("PORTAL_DAT")
      ->capture_default_str();
  app.add_option("--out", out,
                 "Output JSON path. Default writes alongside the mirewold-web data directory so the runtime can "
                 "fetch it relative to its own URL")
      ->type_name("OUT")
      ->capture_default_str();
  app.add_option("--limit", limit,
                 "Optional max number of surfaces to process (handy for smoke tests). `0` means \"all\"")
      ->type_name("LIMIT")
      ->capture_default_str();

  Cli cli;
  try {
    app.parse(argc, argv);
    if (portal_dat.empty()) throw CLI::ValidationError("--portal-dat", "the path must not be empty");
    if (out.empty()) throw CLI::ValidationError("--out", "the path must not be empty");
    const std::optional<std::uint64_t> parsed = parse_limit(limit);
    if (!parsed) {
      throw CLI::ValidationError("--limit", "'" + limit + "' is not a decimal number from 0 to 18446744073709551615");
    }
    cli.portal_dat = portal_dat;
    cli.out = out;
    cli.limit = *parsed;
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : 2;
  }
  return cli;
}

}  // namespace huemark
