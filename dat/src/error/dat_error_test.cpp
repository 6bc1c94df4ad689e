#include "error/dat_error.h"

#include <gtest/gtest.h>

namespace dat {
namespace {

TEST(DatErrorText, EveryKindHasItsFixedText) {
  struct Case {
    DatError error;
    std::string text;
  };
  const Case cases[] = {
      {DatError::io(IoError::unexpected_eof(IoError::kFillWholeBuffer)), "IO error: failed to fill whole buffer"},
      {DatError::bin_read(RecordReadError(AssertionFailure{"x", 1})), "Binary read error: x at 0x1"},
      {DatError::not_found(0x0800012A), "File ID 0800012A not found in provider"},
      {DatError::not_found(5), "File ID 00000005 not found in provider"},
      {DatError::duplicate_id(0xABCDEF), "Duplicate File ID 00ABCDEF detected"},
      {DatError::duplicate_namespaced_id("portal", 0x1F), "Duplicate namespaced file portal:0000001F detected"},
      {DatError::invalid_magic("TL"), "Invalid magic for format: TL"},
      {DatError::unsupported_version(7), "Unsupported version: 7"},
      {DatError::invalid_namespace("cell"), "Invalid namespace: cell"},
      {DatError::corruption("chain loops"), "Corruption detected: chain loops"},
      {DatError::decompression_failed(0x06000001), "Failed to recover compressed file 06000001"},
      {DatError::path_error("/data/a.dat", IoError::from_errno(2)),
       "Failed to open file at /data/a.dat: No such file or directory (os error 2)"},
      {DatError::path_error("/data/\xFF.dat", IoError::from_errno(13)),
       "Failed to open file at /data/\xEF\xBF\xBD.dat: Permission denied (os error 13)"},
      {DatError::other("anything"), "Other error: anything"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error.text(), c.text);
}

TEST(DatErrorText, OnlyIoBinReadAndPathErrorHaveACause) {
  EXPECT_EQ(DatError::io(IoError::from_errno(5)).causes(), std::vector<std::string>{"Input/output error (os error 5)"});
  EXPECT_EQ(DatError::path_error("/x", IoError::from_errno(2)).causes(),
            std::vector<std::string>{"No such file or directory (os error 2)"});
  EXPECT_EQ(DatError::bin_read(RecordReadError(AssertionFailure{"x", 1})).causes(),
            std::vector<std::string>{"x at 0x1"});
  EXPECT_TRUE(DatError::not_found(1).causes().empty());
  EXPECT_TRUE(DatError::corruption("c").causes().empty());
}

TEST(DatErrorText, DebugFormNamesTheKindAndFields) {
  EXPECT_EQ(DatError::not_found(42).debug(), "NotFound(42)");
  EXPECT_EQ(DatError::duplicate_namespaced_id("ns", 3).debug(), "DuplicateNamespacedId { namespace: \"ns\", file_id: 3 }");
}

}  // namespace
}  // namespace dat
