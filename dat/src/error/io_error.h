#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace dat {

// An I/O failure: either the operating system's (errno) or the reader's own
// "ran out of data" condition.
class IoError {
 public:
  enum class Kind {
    UnexpectedEof,  // a read of a fixed number of bytes hit the end of its input
    Os,             // the operating system refused; code() is the errno value
  };

  // The reader's two fixed end-of-data texts.
  static constexpr std::string_view kFillWholeBuffer = "failed to fill whole buffer";
  static constexpr std::string_view kNotEnoughBytes = "not enough bytes in reader";

  [[nodiscard]] static IoError unexpected_eof(std::string_view text) {
    return IoError(Kind::UnexpectedEof, 0, std::string(text));
  }
  [[nodiscard]] static IoError from_errno(int code);

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  [[nodiscard]] int code() const noexcept { return code_; }
  // The system's message followed by " (os error N)", or the fixed end-of-data text.
  [[nodiscard]] std::string text() const;

  friend bool operator==(const IoError&, const IoError&) = default;

 private:
  IoError(Kind kind, int code, std::string message)
      : kind_(kind), code_(code), message_(std::move(message)) {}

  Kind kind_;
  int code_;
  std::string message_;
};

}  // namespace dat
