#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "error/io_error.h"

namespace dat {

class RecordReadError;

// A failed check on a value that was read whole: "count -1 out of range of usize" at byte 24.
struct AssertionFailure {
  std::string message;
  std::uint64_t position;

  friend bool operator==(const AssertionFailure&, const AssertionFailure&) = default;
};

// "While parsing field 'width' in Texture", located at the field's declaration in our sources.
struct LocatedFrame {
  std::string message;
  std::string file;
  std::uint32_t line;

  friend bool operator==(const LocatedFrame&, const LocatedFrame&) = default;
};

// A frame that is only a message ("rewinding after a failure").
struct MessageFrame {
  std::string message;

  friend bool operator==(const MessageFrame&, const MessageFrame&) = default;
};

// A frame that holds a whole earlier failure.
struct ErrorFrame {
  std::shared_ptr<const RecordReadError> error;

  friend bool operator==(const ErrorFrame& a, const ErrorFrame& b);
};

using ContextFrame = std::variant<LocatedFrame, MessageFrame, ErrorFrame>;

// The record reader's error value. It is one of three forms:
//  - an I/O failure (a field ran past the end of its input, or the input failed),
//  - an assertion failure at a byte position,
//  - a context chain: an inner I/O or assertion failure plus frames, innermost record first.
class [[nodiscard]] RecordReadError {
 public:
  using Inner = std::variant<IoError, AssertionFailure>;

  RecordReadError(IoError io) : inner_(std::move(io)) {}                      // NOLINT(implicit)
  RecordReadError(AssertionFailure assertion) : inner_(std::move(assertion)) {}  // NOLINT(implicit)

  // Adds a frame on the outside: the first frame makes this a context chain, later
  // frames go after the ones already there.
  void push_frame(ContextFrame frame) { frames_.push_back(std::move(frame)); }

  [[nodiscard]] bool has_context() const noexcept { return !frames_.empty(); }
  [[nodiscard]] const Inner& inner() const noexcept { return inner_; }
  [[nodiscard]] const std::vector<ContextFrame>& frames() const noexcept { return frames_; }

  // The printed text, with the bold escape sequences and the box rules of the context form.
  [[nodiscard]] std::string text() const;

  friend bool operator==(const RecordReadError&, const RecordReadError&) = default;

 private:
  Inner inner_;
  std::vector<ContextFrame> frames_;
};

inline bool operator==(const ErrorFrame& a, const ErrorFrame& b) {
  if (a.error == nullptr || b.error == nullptr) return a.error == b.error;
  return *a.error == *b.error;
}

}  // namespace dat
