#pragma once

// Helpers shared by the record decoder tests: a check of a context-form error's whole printed
// text, and the table-driven check of records cut short. The record bytes themselves are
// written with dat::testing::ByteWriter.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "error/record_read_error.h"
#include "utils/bytes.h"

namespace dat::test {

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

// A record cut short at every length from `shortest` to `longest`: each prefix of `whole`
// fails alike, with `cause` and one located frame per message.
struct TruncationCase {
  std::string name;
  Bytes whole;
  std::size_t shortest;
  std::size_t longest;
  std::string cause;
  std::vector<std::string> frames;  // innermost first
};

// Failures name the case instead of dumping its bytes.
inline void PrintTo(const TruncationCase& c, std::ostream* os) { *os << c.name; }

// The body of every truncation test: `unpack` is the record's decoder and `source` the file
// that declares its fields, as IsBacktrace takes it.
template <class Unpack>
void expect_fails_at_every_length(const TruncationCase& c, Unpack unpack, std::string_view source) {
  for (std::size_t length = c.shortest; length <= c.longest; ++length) {
    SCOPED_TRACE(length);
    const auto record = unpack(ByteView(c.whole).first(length));
    ASSERT_FALSE(record);
    EXPECT_TRUE(IsBacktrace(record.error(), c.cause, c.frames, source));
  }
}

// Line of frame `index` of a failed decode; 0 when there is no such located frame.
template <class Result>
std::uint32_t frame_line(const Result& result, std::size_t index) {
  if (result || result.error().frames().size() <= index) return 0;
  const auto* frame = std::get_if<LocatedFrame>(&result.error().frames()[index]);
  return frame == nullptr ? 0 : frame->line;
}

}  // namespace dat::test
