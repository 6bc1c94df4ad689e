#include <variant>

#include "huemark/cli.h"
#include "huemark/run.h"
#include "huemark/status_line.h"

int main(int argc, char** argv) {
  auto parsed = huemark::parse_cli(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  return huemark::run(std::get<huemark::Cli>(parsed), huemark::write_stderr_line);
}
