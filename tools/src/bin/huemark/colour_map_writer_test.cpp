#include "huemark/colour_map_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace huemark {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ColourMapJson, ExactBytes) {
  EXPECT_EQ(colour_map_json({}), "{\n}\n");
  EXPECT_EQ(colour_map_json({{0x0800ABCD, {0, 0, 0}}}), "{\n  \"0x0800ABCD\": [0, 0, 0]\n}\n");
  EXPECT_EQ(colour_map_json({{0x0800001F, {128, 128, 128}}, {0x08000001, {18, 52, 86}}, {0x08FFFFFF, {255, 255, 255}}}),
            "{\n"
            "  \"0x08000001\": [18, 52, 86],\n"
            "  \"0x0800001F\": [128, 128, 128],\n"
            "  \"0x08FFFFFF\": [255, 255, 255]\n"
            "}\n");
}

class WriteColourMap : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("colour_map_writer_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  std::expected<void, RunError> write(const ColourMap& map, const fs::path& out) {
    lines_.clear();
    return write_colour_map(map, out, [this](std::string_view line) { lines_.emplace_back(line); });
  }

  // Everything in the directory apart from the names given: stray temporary files.
  std::vector<std::string> strays(std::initializer_list<std::string> expected) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) found.push_back(name);
    }
    return found;
  }

  fs::path dir_;
  std::vector<std::string> lines_;
};

TEST_F(WriteColourMap, CreatesMissingDirectoriesAndReportsTheSize) {
  const fs::path out = dir_ / "x" / "y" / "colors.json";
  ColourMap map;
  for (std::uint32_t i = 0; i < 50; ++i) map[0x08000000 + i] = {255, 255, 255};
  ASSERT_TRUE(write(map, out).has_value());
  const std::string text = read_file(out);
  EXPECT_EQ(text, colour_map_json(map));
  // 50 lines of 33 bytes (one without a comma) plus the braces: 1653 bytes.
  ASSERT_EQ(text.size(), 1653u);
  EXPECT_EQ(lines_, std::vector<std::string>{"wrote " + out.string() + " (1.6 KB)"});
  EXPECT_TRUE(strays({"x", "y", "colors.json"}).empty());
}

TEST_F(WriteColourMap, EmptyMapReportsZeroKilobytes) {
  const fs::path out = dir_ / "empty.json";
  ASSERT_TRUE(write({}, out).has_value());
  EXPECT_EQ(read_file(out), "{\n}\n");
  EXPECT_EQ(lines_, std::vector<std::string>{"wrote " + out.string() + " (0.0 KB)"});
}

TEST_F(WriteColourMap, BareFileNameWritesIntoTheWorkingDirectory) {
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  const auto written = write({{0x08000001, {1, 2, 3}}}, "colors.json");
  fs::current_path(before);
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(read_file(dir_ / "colors.json"), "{\n  \"0x08000001\": [1, 2, 3]\n}\n");
  EXPECT_EQ(lines_, std::vector<std::string>{"wrote colors.json (0.0 KB)"});
}

TEST_F(WriteColourMap, ParentThatIsAFileFailsAsCreateDir) {
  std::ofstream(dir_ / "plain") << "x";
  const auto written = write({}, dir_ / "plain" / "colors.json");
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().message, "create dir " + (dir_ / "plain").string());
  EXPECT_EQ(written.error().causes, std::vector<std::string>{"File exists (os error 17)"});
  EXPECT_TRUE(lines_.empty());
}

TEST_F(WriteColourMap, DirectoryInTheWayFailsAsWriteAndLeavesNothingBehind) {
  fs::create_directories(dir_ / "taken.json");
  const auto written = write({{0x08000001, {1, 2, 3}}}, dir_ / "taken.json");
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().message, "write " + (dir_ / "taken.json").string());
  EXPECT_EQ(written.error().causes, std::vector<std::string>{"Is a directory (os error 21)"});
  EXPECT_TRUE(strays({"taken.json"}).empty());
}

TEST_F(WriteColourMap, FailedWriteLeavesThePreviousFileIntact) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
  const fs::path out = dir_ / "colors.json";
  ASSERT_TRUE(write({{0x08000001, {1, 2, 3}}}, out).has_value());
  const std::string before = read_file(out);
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
  const auto written = write({{0x08000002, {4, 5, 6}}}, out);
  fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().causes, std::vector<std::string>{"Permission denied (os error 13)"});
  EXPECT_EQ(read_file(out), before);
  EXPECT_TRUE(strays({"colors.json"}).empty());
}

TEST_F(WriteColourMap, WriteThatRunsOutOfRoomLeavesThePreviousFileIntact) {
  // A file-size limit makes the write fail part-way, as a full disk would, also for root.
  const fs::path out = dir_ / "colors.json";
  ASSERT_TRUE(write({{0x08000001, {1, 2, 3}}}, out).has_value());
  const std::string before = read_file(out);
  ColourMap big;
  for (std::uint32_t i = 0; i < 1000; ++i) big[0x08000000 + i] = {9, 9, 9};

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto written = write(big, out);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  ASSERT_FALSE(written.has_value());
  EXPECT_EQ(written.error().message, "write " + out.string());
  EXPECT_EQ(written.error().causes, std::vector<std::string>{"File too large (os error 27)"});
  EXPECT_EQ(read_file(out), before);
  EXPECT_TRUE(lines_.empty());
  EXPECT_TRUE(strays({"colors.json"}).empty());
}

TEST_F(WriteColourMap, SymbolicLinkStaysAndItsTargetIsReplaced) {
  fs::create_directories(dir_ / "real");
  const fs::path target = dir_ / "real" / "huemark.json";
  std::ofstream(target) << "old";
  const fs::path link = dir_ / "link.json";
  fs::create_symlink(fs::path("real") / "huemark.json", link);
  ASSERT_TRUE(write({{0x08000001, {1, 2, 3}}}, link).has_value());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_file(target), colour_map_json({{0x08000001, {1, 2, 3}}}));
  EXPECT_TRUE(strays({"real", "huemark.json", "link.json"}).empty());
}

TEST_F(WriteColourMap, NewFileGetsTheUsualModeAndAnExistingFileKeepsItsMode) {
  const mode_t mask = ::umask(022);
  const fs::path fresh = dir_ / "fresh.json";
  ASSERT_TRUE(write({}, fresh).has_value());
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  const fs::path kept = dir_ / "kept.json";
  std::ofstream(kept) << "old";
  ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
  ASSERT_TRUE(write({}, kept).has_value());
  ASSERT_EQ(::stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ::umask(mask);
}

}  // namespace
}  // namespace huemark
