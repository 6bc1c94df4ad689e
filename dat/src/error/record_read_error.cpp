#include "error/record_read_error.h"

#include <fmt/format.h>

namespace dat {
namespace {

constexpr std::string_view kBoldOn = "\x1b[1m";
constexpr std::string_view kBoldOff = "\x1b[22m";
// Heavy box-drawing pieces of the rules around a backtrace.
constexpr std::string_view kLeftEnd = "\u257a";
constexpr std::string_view kRightEnd = "\u2578";
constexpr std::string_view kHorizontal = "\u2501";
constexpr std::string_view kDashed = "\u2505";

std::string rule(std::string_view label, int left, int right) {
  std::string out = fmt::format("\n {}", kLeftEnd);
  for (int i = 0; i < left; ++i) out += kHorizontal;
  out += label;
  for (int i = 0; i < right; ++i) out += kHorizontal;
  out += fmt::format("{}\n\n", kRightEnd);
  return out;
}

std::string opening_rule() {
  return rule(fmt::format("{} Backtrace {}", kDashed, kDashed), 20, 20);
}

std::string closing_rule() { return rule("", 53, 0); }

std::string inner_text(const RecordReadError::Inner& inner) {
  if (const auto* io = std::get_if<IoError>(&inner)) return io->text();
  const auto& assertion = std::get<AssertionFailure>(inner);
  return fmt::format("{} at 0x{:x}", assertion.message, assertion.position);
}

std::string frame_message(const ContextFrame& frame) {
  if (const auto* located = std::get_if<LocatedFrame>(&frame)) return located->message;
  if (const auto* message = std::get_if<MessageFrame>(&frame)) return message->message;
  return std::get<ErrorFrame>(frame).error->text();
}

}  // namespace

std::string RecordReadError::text() const {
  if (frames_.empty()) return inner_text(inner_);

  std::string out = opening_rule();
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const ContextFrame& frame = frames_[i];
    std::string heading;
    if (i == 0) {
      heading = fmt::format("{}Error: {}{}\n           {}{}{}", kBoldOn, inner_text(inner_), kBoldOff,
                            kBoldOn, frame_message(frame), kBoldOff);
    } else {
      heading = frame_message(frame);
    }
    out += fmt::format(" {}: {}{}{}", i, kBoldOn, heading, kBoldOff);
    if (const auto* located = std::get_if<LocatedFrame>(&frame)) {
      out += fmt::format("\n     at {}:{}\n", located->file, located->line);
    } else {
      out += '\n';
    }
  }
  out += closing_rule();
  return out;
}

}  // namespace dat
