#include "huemark/run.h"

#include <gtest/gtest.h>

namespace huemark {
namespace {

TEST(ProgressLine, FieldsAreFiveWideAndGrowWhenTheyMust) {
  struct Case {
    Progress progress;
    std::string line;
  };
  const Case cases[] = {
      {{5, 100, 5, 5, 0, 0}, "  [    5/  100] ok=5 (solid=5 textured=0) err=0"},
      {{6172, 123456, 6000, 4000, 2000, 172}, "  [ 6172/123456] ok=6000 (solid=4000 textured=2000) err=172"},
      {{12344, 123456, 12344, 12344, 0, 0}, "  [12344/123456] ok=12344 (solid=12344 textured=0) err=0"},
  };
  for (const Case& c : cases) EXPECT_EQ(progress_line(c.progress), c.line);
}

TEST(ProgressStep, LinesComeAboutTwentyTimesAndNeverMoreThan38) {
  EXPECT_EQ(progress_step(0), 1u);
  EXPECT_EQ(progress_step(1), 1u);
  EXPECT_EQ(progress_step(19), 1u);
  EXPECT_EQ(progress_step(39), 1u);
  EXPECT_EQ(progress_step(40), 2u);
  EXPECT_EQ(progress_step(100), 5u);
  EXPECT_EQ(progress_step(123456), 6172u);
  // A line before every multiple of the step except 0: floor((n - 1) / step) of them.
  std::uint64_t most = 0;
  for (std::uint64_t n = 1; n < 5000; ++n) most = std::max(most, (n - 1) / progress_step(n));
  EXPECT_EQ(most, 38u);
}

}  // namespace
}  // namespace huemark
