#pragma once

#include "huemark/cli.h"
#include "huemark/status_line.h"

namespace huemark {

// One whole run: open the archive, resolve every chosen surface, write the colour map.
// Status lines and the final error report go to `status`; returns the exit status
// (0 for a finished run, also when surfaces failed; 1 when the run itself failed).
[[nodiscard]] int run(const Cli& cli, const StatusSink& status);

}  // namespace huemark
