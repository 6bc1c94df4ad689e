#include "error/record_read_error.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "reader/record_reader.h"

namespace dat {
namespace {

const std::string B = "\x1b[1m";
const std::string E = "\x1b[22m";
const std::string kOpening =
    "\n \u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
    "\u2501\u2501\u2501\u2505 Backtrace \u2505\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
    "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2578\n\n";

std::string closing() {
  std::string rule = "\n \u257a";
  for (int i = 0; i < 53; ++i) rule += "\u2501";
  return rule + "\u2578\n\n";
}

TEST(RecordReadErrorText, PlainFormsPrintTheirCauseOnly) {
  EXPECT_EQ(RecordReadError(IoError::unexpected_eof(IoError::kFillWholeBuffer)).text(), "failed to fill whole buffer");
  EXPECT_EQ(RecordReadError(IoError::from_errno(21)).text(), "Is a directory (os error 21)");
  // Positions print in lower-case hexadecimal without leading zeros.
  EXPECT_EQ(RecordReadError(AssertionFailure{"count -1 out of range of usize", 24}).text(),
            "count -1 out of range of usize at 0x18");
  EXPECT_EQ(RecordReadError(AssertionFailure{"bad", 0xABC}).text(), "bad at 0xabc");
}

TEST(RecordReadErrorText, ContextFormPrintsEveryFrameBetweenTheRules) {
  RecordReadError error(IoError::unexpected_eof(IoError::kNotEnoughBytes));
  error.push_frame(LocatedFrame{"While parsing field 'orig_texture_id' in TextureRefs", "dat/src/x.cpp", 12});
  error.push_frame(LocatedFrame{"While parsing field 'texture_refs' in Surface", "dat/src/y.cpp", 345});
  error.push_frame(MessageFrame{"plain note"});

  const std::string expected = kOpening + " 0: " + B + B + "Error: not enough bytes in reader" + E + "\n           " + B +
                               "While parsing field 'orig_texture_id' in TextureRefs" + E + E +
                               "\n     at dat/src/x.cpp:12\n" + " 1: " + B +
                               "While parsing field 'texture_refs' in Surface" + E + "\n     at dat/src/y.cpp:345\n" +
                               " 2: " + B + "plain note" + E + "\n" + closing();
  EXPECT_EQ(error.text(), expected);
}

TEST(RecordReadErrorText, ErrorFrameShowsTheHeldErrorsText) {
  RecordReadError error(IoError::from_errno(5));
  error.push_frame(MessageFrame{"rewinding after a failure"});
  error.push_frame(ErrorFrame{std::make_shared<RecordReadError>(AssertionFailure{"oops", 3})});
  const std::string expected = kOpening + " 0: " + B + B + "Error: Input/output error (os error 5)" + E +
                               "\n           " + B + "rewinding after a failure" + E + E + "\n" + " 1: " + B +
                               "oops at 0x3" + E + "\n" + closing();
  EXPECT_EQ(error.text(), expected);
}

// A two-level record for the reader tests: Outer { u32 a; Inner inner; u32 c; }.
struct Inner {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  static inline std::uint32_t y_line = 0;
  static std::expected<Inner, RecordReadError> read(ByteCursor& cursor) {
    RecordReader r(cursor, "Inner");
    Inner inner;
    inner.x = r.u32("x");
    y_line = __LINE__ + 1;
    inner.y = r.u32("y");
    return r.finish(inner);
  }
};

struct Outer {
  std::uint32_t a = 0;
  std::optional<Inner> inner;
  std::uint32_t c = 0;
  static inline std::uint32_t inner_line = 0;
  static std::expected<Outer, RecordReadError> read(ByteCursor& cursor) {
    RecordReader r(cursor, "Outer");
    Outer outer;
    outer.a = r.u32("a");
    inner_line = __LINE__ + 1;
    outer.inner = r.nested<Inner>("inner");
    outer.c = r.u32("c");
    return r.finish(outer);
  }
};

TEST(RecordReader, ReadsFieldsInOrder) {
  const std::array<std::uint8_t, 17> bytes{1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9};
  ByteCursor cursor(bytes);
  auto outer = Outer::read(cursor);
  ASSERT_TRUE(outer.has_value());
  EXPECT_EQ(outer->a, 1u);
  EXPECT_EQ(outer->inner->x, 2u);
  EXPECT_EQ(outer->inner->y, 3u);
  EXPECT_EQ(outer->c, 0xFFFFFFFFu);
  EXPECT_EQ(cursor.position(), 16u);
}

TEST(RecordReader, NestedFailureHasInnermostFrameFirstAndRewinds) {
  const std::array<std::uint8_t, 10> bytes{1, 0, 0, 0, 2, 0, 0, 0, 3, 0};
  ByteCursor cursor(bytes);
  ASSERT_TRUE(cursor.take(0, IoError::kFillWholeBuffer));
  auto outer = Outer::read(cursor);
  ASSERT_FALSE(outer.has_value());
  const RecordReadError& error = outer.error();
  EXPECT_EQ(error.inner(), RecordReadError::Inner(IoError::unexpected_eof(IoError::kFillWholeBuffer)));
  ASSERT_EQ(error.frames().size(), 2u);
  const auto& first = std::get<LocatedFrame>(error.frames()[0]);
  const auto& second = std::get<LocatedFrame>(error.frames()[1]);
  EXPECT_EQ(first.message, "While parsing field 'y' in Inner");
  EXPECT_EQ(first.line, Inner::y_line);
  EXPECT_EQ(second.message, "While parsing field 'inner' in Outer");
  EXPECT_EQ(second.line, Outer::inner_line);
  // Source paths are relative to the project root.
  EXPECT_EQ(first.file, "dat/src/error/record_read_error_test.cpp");
  EXPECT_EQ(cursor.position(), 0u);
}

TEST(RecordReader, ListCountsAreCheckedAgainstTheInput) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::string text;  // empty: decodes
  };
  const std::vector<Case> cases = {
      {{0, 0, 0, 0}, ""},
      {{2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}, ""},
      {{2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0}, "failed to fill whole buffer"},
      {{0xFF, 0xFF, 0xFF, 0x7F}, "failed to fill whole buffer"},
      {{0xFF, 0xFF, 0xFF, 0xFF}, "count -1 out of range of usize at 0x4"},
      {{0, 0, 0, 0x80}, "count -2147483648 out of range of usize at 0x4"},
  };
  for (const Case& c : cases) {
    ByteCursor cursor(c.bytes);
    RecordReader r(cursor, "List");
    const std::vector<std::uint32_t> list = r.u32_list("items");
    auto result = r.finish(list);
    if (c.text.empty()) {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->size(), (c.bytes.size() - 4) / 4);
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().frames().size(), 1u);
      EXPECT_EQ(std::get<LocatedFrame>(result.error().frames()[0]).message, "While parsing field 'items' in List");
      const auto& inner = result.error().inner();
      const std::string inner_text = std::holds_alternative<IoError>(inner)
                                         ? std::get<IoError>(inner).text()
                                         : RecordReadError(std::get<AssertionFailure>(inner)).text();
      EXPECT_EQ(inner_text, c.text);
    }
  }
}

TEST(ByteCursor, ReportsTheSourcesFailureInsteadOfEndOfData) {
  const std::array<std::uint8_t, 2> bytes{1, 2};
  ByteCursor cursor(bytes, IoError::from_errno(21));
  auto value = cursor.u32();
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().text(), "Is a directory (os error 21)");
  EXPECT_EQ(cursor.position(), 0u);
}

}  // namespace
}  // namespace dat
