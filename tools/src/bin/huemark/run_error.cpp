#include "huemark/run_error.h"

#include <fmt/format.h>

namespace huemark {

std::string format_report(const RunError& error) {
  std::string out = fmt::format("Error: {}", error.message);
  if (!error.causes.empty()) {
    out += "\n\nCaused by:";
    const bool numbered = error.causes.size() > 1;
    const std::string_view indent = numbered ? "       " : "    ";
    for (std::size_t i = 0; i < error.causes.size(); ++i) {
      out += '\n';
      out += numbered ? fmt::format("{:>5}: ", i) : std::string(indent);
      for (const char c : error.causes[i]) {
        out += c;
        if (c == '\n') out += indent;
      }
    }
  }
  out += '\n';
  return out;
}

}  // namespace huemark
