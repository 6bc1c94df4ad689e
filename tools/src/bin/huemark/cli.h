#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <variant>

namespace huemark {

// The parsed command line.
struct Cli {
  std::filesystem::path portal_dat;  // the portal archive to read
  std::filesystem::path out;         // the JSON file to write
  std::uint64_t limit = 0;           // most surfaces to process; 0 means all
};

// Parses the process arguments. On --help, or on a usage error, the parser's text has
// been printed (help to standard output, errors to standard error) and the exit status
// to end with is returned instead: 0 after help, 2 for every usage error.
[[nodiscard]] std::variant<Cli, int> parse_cli(int argc, const char* const* argv);

// A strict unsigned 64-bit decimal: ASCII digits with at most one leading '+', the whole
// text consumed, no overflow. Anything else (empty, '-', hex, spaces) is refused.
[[nodiscard]] std::optional<std::uint64_t> parse_limit(std::string_view text);

}  // namespace huemark
