#include <malloc.h>

#include <variant>

#include "huemark/cli.h"
#include "huemark/run.h"
#include "huemark/status_line.h"

int main(int argc, char** argv) {
  // Every surface allocates and frees buffers of up to a few hundred KiB. By default glibc
  // hands the freed top of the heap back to the kernel each time (and maps the larger
  // buffers afresh), so the next surface faults the same pages in again: tens of thousands
  // of page faults in a run. Keeping freed memory for reuse does not raise the peak, which
  // is one surface's buffers either way.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);

  auto parsed = huemark::parse_cli(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  return huemark::run(std::get<huemark::Cli>(parsed), huemark::write_stderr_line);
}
