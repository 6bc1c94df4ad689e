#pragma once

#include <cstdint>
#include <string>

#include "huemark/cli.h"
#include "huemark/status_line.h"

namespace huemark {

// Where the run stands after `done` of `n` surfaces, with its counts.
struct Progress {
  std::uint64_t done = 0;
  std::uint64_t n = 0;
  std::uint64_t resolved = 0;
  std::uint32_t solid = 0;
  std::uint32_t textured = 0;
  std::uint32_t errors = 0;
};

// "  [    5/  100] ok=5 (solid=5 textured=0) err=0": i and n right-aligned in five columns,
// wider numbers taking the room they need.
[[nodiscard]] std::string progress_line(const Progress& progress);

// How many surfaces pass between progress lines: max(1, floor(n / 20)).
[[nodiscard]] std::uint64_t progress_step(std::uint64_t n);

// One whole run: open the archive, resolve every chosen surface, write the colour map.
// Status lines and the final error report go to `status`; returns the exit status
// (0 for a finished run, also when surfaces failed; 1 when the run itself failed).
[[nodiscard]] int run(const Cli& cli, const StatusSink& status);

}  // namespace huemark
