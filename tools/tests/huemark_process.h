#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace huemark::testing {

// What one run of the built huemark binary did.
struct ProcessResult {
  int exit_status = -1;  // -1 when it did not exit normally (a signal)
  std::string out;       // standard output
  std::string err;       // standard error
  std::chrono::milliseconds elapsed{0};
  long peak_rss_kb = 0;  // the child's own peak resident set
};

// Runs the huemark binary under test with `args`, in `working_dir`, and waits for it.
[[nodiscard]] ProcessResult run_huemark(const std::vector<std::string>& args,
                                        const std::filesystem::path& working_dir);

}  // namespace huemark::testing
