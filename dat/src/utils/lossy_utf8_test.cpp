#include "utils/lossy_utf8.h"

#include <gtest/gtest.h>

namespace dat {
namespace {

TEST(LossyUtf8, ReplacesEachMaximalIllFormedSubpart) {
  const std::string R = "\xEF\xBF\xBD";
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"", ""},
      {"/data/client_portal.dat", "/data/client_portal.dat"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                        // two-byte sequence kept
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},              // four-byte sequence kept
      {"a\xFF" "b", "a" + R + "b"},                          // never a lead byte
      {"a\x80\x80" "b", "a" + R + R + "b"},                  // stray continuations, one each
      {"\xE2\x82", R},                                       // truncated three-byte sequence: one
      {"\xE2\x82" "x", R + "x"},
      {"\xF0\x9F\x98", R},                                   // truncated four-byte sequence: one
      {"\xC0\xAF", R + R},                                   // overlong lead is never valid
      {"\xED\xA0\x80", R + R + R},                           // surrogates: ED only takes 80..9F
      {"\xF4\x90\x80\x80", R + R + R + R},                   // beyond U+10FFFF
      {"\xE0\x80\x80", R + R + R},                           // overlong three-byte form
  };
  for (const Case& c : cases) EXPECT_EQ(lossy_utf8(c.in), c.out) << testing::PrintToString(c.in);
}

}  // namespace
}  // namespace dat
