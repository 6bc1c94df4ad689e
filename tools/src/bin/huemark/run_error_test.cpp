#include "huemark/run_error.h"

#include <gtest/gtest.h>

namespace huemark {
namespace {

TEST(FormatReport, ContextAloneIsOneLine) {
  EXPECT_EQ(format_report({"write out.json", {}}), "Error: write out.json\n");
}

TEST(FormatReport, ASingleCauseIsIndentedFourSpaces) {
  EXPECT_EQ(format_report({"write out.json", {"Is a directory (os error 21)"}}),
            "Error: write out.json\n\nCaused by:\n    Is a directory (os error 21)\n");
}

TEST(FormatReport, SeveralCausesAreNumberedInFiveColumns) {
  // The report for a missing archive.
  EXPECT_EQ(format_report({"open /data/client_portal.dat",
                           {"Failed to open file at /data/client_portal.dat: No such file or directory (os error 2)",
                            "No such file or directory (os error 2)"}}),
            "Error: open /data/client_portal.dat\n\nCaused by:\n"
            "    0: Failed to open file at /data/client_portal.dat: No such file or directory (os error 2)\n"
            "    1: No such file or directory (os error 2)\n");
}

TEST(FormatReport, FurtherLinesOfACauseKeepItsColumn) {
  EXPECT_EQ(format_report({"ctx", {"a\nb"}}), "Error: ctx\n\nCaused by:\n    a\n    b\n");
  EXPECT_EQ(format_report({"ctx", {"x: \n\nrule", "last"}}),
            "Error: ctx\n\nCaused by:\n    0: x: \n       \n       rule\n    1: last\n");
}

}  // namespace
}  // namespace huemark
