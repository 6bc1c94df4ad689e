#include "error/io_error.h"

#include <cstring>

#include <fmt/format.h>

namespace dat {

IoError IoError::from_errno(int code) {
  // strerror_r (GNU flavour) gives the same text as strerror without sharing a static buffer.
  char buffer[256];
  const char* message = strerror_r(code, buffer, sizeof buffer);
  return IoError(Kind::Os, code, message);
}

std::string IoError::text() const {
  switch (kind_) {
    case Kind::UnexpectedEof:
      return message_;
    case Kind::Os:
      return fmt::format("{} (os error {})", message_, code_);
  }
  std::abort();
}

}  // namespace dat
