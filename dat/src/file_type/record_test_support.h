#pragma once

// Helpers shared by the record decoder tests: a builder for record bytes and a check of a
// context-form error's whole printed text.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error/record_read_error.h"
#include "utils/bytes.h"

namespace dat::test {

// Record bytes in file order, little-endian, one call per field.
class RecordBytes {
 public:
  RecordBytes& u8(std::uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  RecordBytes& u32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    return *this;
  }
  RecordBytes& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  RecordBytes& raw(std::initializer_list<std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
  }
  RecordBytes& fill(std::size_t count, std::uint8_t value) {
    bytes_.insert(bytes_.end(), count, value);
    return *this;
  }

  [[nodiscard]] std::size_t size() const { return bytes_.size(); }
  [[nodiscard]] Bytes build() const { return bytes_; }

 private:
  Bytes bytes_;
};

// The printed text of a context-form error with located frames, written out from the
// format rather than through RecordReadError::text().
inline std::string backtrace_text(std::string_view cause, const std::vector<LocatedFrame>& frames) {
  const std::string bold_on = "\x1b[1m";
  const std::string bold_off = "\x1b[22m";
  std::string out = "\n \u257a";
  for (int i = 0; i < 20; ++i) out += "\u2501";
  out += "\u2505 Backtrace \u2505";
  for (int i = 0; i < 20; ++i) out += "\u2501";
  out += "\u2578\n\n";
  for (std::size_t i = 0; i < frames.size(); ++i) {
    std::string heading = frames[i].message;
    if (i == 0) {
      heading = bold_on + "Error: " + std::string(cause) + bold_off + "\n" + std::string(11, ' ') + bold_on + heading +
                bold_off;
    }
    out += " " + std::to_string(i) + ": " + bold_on + heading + bold_off + "\n     at " + frames[i].file + ":" +
           std::to_string(frames[i].line) + "\n";
  }
  out += "\n \u257a";
  for (int i = 0; i < 53; ++i) out += "\u2501";
  out += "\u2578\n\n";
  return out;
}

// Checks that `error` prints as a backtrace of `cause` with one located frame per message,
// innermost first, each declared in the decoder's own source file (`source`, e.g.
// "file_type/surface.cpp") at a real line.
inline ::testing::AssertionResult IsBacktrace(const RecordReadError& error, std::string_view cause,
                                              const std::vector<std::string>& messages, std::string_view source) {
  if (error.frames().size() != messages.size()) {
    return ::testing::AssertionFailure() << "got " << error.frames().size() << " frames, want " << messages.size()
                                         << "; text:\n"
                                         << error.text();
  }
  std::vector<LocatedFrame> located;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const auto* frame = std::get_if<LocatedFrame>(&error.frames()[i]);
    if (frame == nullptr) return ::testing::AssertionFailure() << "frame " << i << " is not a located frame";
    if (!frame->file.ends_with(source) || frame->line == 0) {
      return ::testing::AssertionFailure()
             << "frame " << i << " is located at " << frame->file << ":" << frame->line << ", not in " << source;
    }
    located.push_back(LocatedFrame{messages[i], frame->file, frame->line});
  }
  const std::string want = backtrace_text(cause, located);
  if (error.text() != want) {
    return ::testing::AssertionFailure() << "text:\n" << error.text() << "\nwant:\n" << want;
  }
  return ::testing::AssertionSuccess();
}

// Line of frame `index` of a failed decode; 0 when there is no such located frame.
template <class Result>
std::uint32_t frame_line(const Result& result, std::size_t index) {
  if (result || result.error().frames().size() <= index) return 0;
  const auto* frame = std::get_if<LocatedFrame>(&result.error().frames()[index]);
  return frame == nullptr ? 0 : frame->line;
}

}  // namespace dat::test
