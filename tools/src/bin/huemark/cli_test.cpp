#include "huemark/cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace huemark {
namespace {

TEST(ParseLimit, AcceptsOnlyPlainDecimal) {
  struct Case {
    std::string text;
    std::optional<std::uint64_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"5", 5},
      {"+5", 5},
      {"007", 7},
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"++5", std::nullopt},
      {"-1", std::nullopt},
      {"-0", std::nullopt},
      {"abc", std::nullopt},
      {"0x10", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"1e3", std::nullopt},
      {"\xD9\xA3", std::nullopt},  // a non-ASCII digit
  };
  for (const Case& c : cases) EXPECT_EQ(parse_limit(c.text), c.value) << '"' << c.text << '"';
}

std::variant<Cli, int> parse(std::vector<std::string> args) {
  args.insert(args.begin(), "huemark");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return parse_cli(static_cast<int>(argv.size()), argv.data());
}

TEST(ParseCli, DefaultsApplyWhenOptionsAreAbsent) {
  const auto parsed = parse({});
  ASSERT_TRUE(std::holds_alternative<Cli>(parsed));
  const Cli& cli = std::get<Cli>(parsed);
  EXPECT_EQ(cli.portal_dat, "/home/fenmoor/ac_base_dats/client_portal.dat");
  EXPECT_EQ(cli.out, "apps/mirewold-web/data/huemark.json");
  EXPECT_EQ(cli.limit, 0u);
}

TEST(ParseCli, ValuesComeAsTheNextArgumentOrAfterAnEqualsSign) {
  const auto parsed = parse({"--portal-dat=/a/b.dat", "--out", "x/y.json", "--limit=+12"});
  ASSERT_TRUE(std::holds_alternative<Cli>(parsed));
  const Cli& cli = std::get<Cli>(parsed);
  EXPECT_EQ(cli.portal_dat, "/a/b.dat");
  EXPECT_EQ(cli.out, "x/y.json");
  EXPECT_EQ(cli.limit, 12u);
}

TEST(ParseCli, UsageErrorsEndWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"--limit", "-1"},        {"--limit", "abc"},           {"--limit=18446744073709551616"},
      {"--limit", "0x10"},      {"--limit="},                 {"--limit"},
      {"--portal-dat", ""},     {"--portal-dat="},            {"--out", ""},
      {"--out", "a", "--out", "b"}, {"--bogus"},              {"positional"},
      {"-p", "x"},
  };
  testing::internal::CaptureStderr();
  for (const auto& args : cases) {
    const auto parsed = parse(args);
    ASSERT_TRUE(std::holds_alternative<int>(parsed)) << args.front();
    EXPECT_EQ(std::get<int>(parsed), 2) << args.front();
  }
  testing::internal::GetCapturedStderr();
}

TEST(ParseCli, HelpEndsWithStatusZeroAndListsTheOptions) {
  testing::internal::CaptureStdout();
  const auto parsed = parse({"--help"});
  const std::string help = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(std::holds_alternative<int>(parsed));
  EXPECT_EQ(std::get<int>(parsed), 0);
  for (const char* text : {"Emit per-surface dominant-colour JSON for the quorrel fill path", "mirewold-tools",
                           "PORTAL_DAT", "OUT", "LIMIT", "/home/fenmoor/ac_base_dats/client_portal.dat",
                           "apps/mirewold-web/data/huemark.json",
                           "Optional max number of surfaces to process (handy for smoke tests). `0` means \"all\""}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace huemark
