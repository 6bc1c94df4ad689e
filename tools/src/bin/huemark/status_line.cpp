#include "huemark/status_line.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace huemark {

void write_stderr_line(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;  // nowhere left to report to
    done += static_cast<std::size_t>(wrote);
  }
}

}  // namespace huemark
