#pragma once

#include <string>
#include <vector>

namespace huemark {

// An error that ends the run: its outermost message (a context line such as
// "open /data/client_portal.dat") and the texts of its chain of causes, outermost first.
struct RunError {
  std::string message;
  std::vector<std::string> causes;
};

// The top-level report: "Error: " + message, then, when there are causes, a blank line,
// "Caused by:" and each cause on its own line (indented four spaces when alone, numbered
// from 0 and right-aligned in five columns when several), ending with a line feed.
// Further lines of a multi-line cause are indented to the same column.
[[nodiscard]] std::string format_report(const RunError& error);

}  // namespace huemark
