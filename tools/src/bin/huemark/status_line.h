#pragma once

#include <functional>
#include <string_view>

namespace huemark {

// Where the run's status lines go. Each call is one whole line without its line feed.
using StatusSink = std::function<void(std::string_view line)>;

// Writes `line` and a line feed to standard error in a single write, so lines from the
// run never interleave with other output mid-line.
void write_stderr_line(std::string_view line);

}  // namespace huemark
