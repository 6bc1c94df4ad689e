#include "huemark/colour_map_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
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

// Everything that arrives on `fd` until its writers are gone.
std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got = 0; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
  return text;
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

  // Every entry under the directory with its type and mode, and its text or link target.
  std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      const fs::file_status status = entry.symlink_status();
      std::string& seen = found[entry.path().lexically_relative(dir_).string()];
      seen = std::to_string(static_cast<int>(status.type())) + " " + std::to_string(static_cast<int>(status.permissions()));
      if (fs::is_symlink(status)) seen += " -> " + fs::read_symlink(entry.path()).string();
      if (fs::is_regular_file(status)) seen += " " + read_file(entry.path());
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

// Renaming a file over a FIFO or a device would turn it into a plain file (as root,
// `--out /dev/null` would replace the system's /dev/null), and a pipe behind /dev/stdout has
// no name to rename over. Such a destination is written in place and keeps what it is.
TEST_F(WriteColourMap, DestinationThatIsNotARegularFileIsWrittenInPlace) {
  const ColourMap map{{0x08000001, {1, 2, 3}}, {0x08000002, {4, 5, 6}}};
  struct Destination {
    fs::path out;     // the name written to
    int reader = -1;  // reads back what arrives there; -1 when nothing can
    int writer = -1;  // the other end of a pipe, closed once the write is done
  };
  const auto fifo = [](const fs::path& node) -> std::optional<Destination> {
    if (::mkfifo(node.c_str(), 0666) != 0) return std::nullopt;
    // With a reader already there, the writer's open goes ahead instead of waiting for one.
    return Destination{node, ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  };
  struct Case {
    const char* name;
    std::function<std::optional<Destination>()> make;  // nullopt: not possible for this user
  };
  const Case cases[] = {
      {"fifo", [&] { return fifo(dir_ / "fifo.json"); }},
      {"link to a fifo",
       [&] {
         fs::create_symlink("linked.json", dir_ / "link.json");
         auto made = fifo(dir_ / "linked.json");
         if (made) made->out = dir_ / "link.json";
         return made;
       }},
      {"pipe reached through a descriptor link, as /dev/stdout is",
       []() -> std::optional<Destination> {
         int ends[2];
         if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
         return Destination{fs::path("/proc/self/fd") / std::to_string(ends[1]), ends[0], ends[1]};
       }},
      {"copy of /dev/null",
       [&]() -> std::optional<Destination> {
         const fs::path node = dir_ / "null";
         if (::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) return std::nullopt;  // needs root
         const int fd = ::open(node.c_str(), O_WRONLY | O_CLOEXEC);  // a container may deny devices
         if (fd < 0) return std::nullopt;
         ::close(fd);
         return Destination{node};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Destination> made = c.make();
    if (!made) {
      std::cout << "skipped: " << c.name << "\n";
      continue;
    }
    struct stat before {};
    ASSERT_EQ(::stat(made->out.c_str(), &before), 0);
    const auto written = write(map, made->out);
    struct stat after {};
    const int stat_result = ::stat(made->out.c_str(), &after);
    if (made->writer >= 0) ::close(made->writer);
    const std::string arrived = made->reader >= 0 ? drain(made->reader) : "";
    if (made->reader >= 0) ::close(made->reader);

    ASSERT_TRUE(written.has_value()) << written.error().message;
    ASSERT_EQ(stat_result, 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    if (made->reader >= 0) {
      EXPECT_EQ(arrived, colour_map_json(map));
    }
    // The size is whatever the destination reports, nothing for all of these.
    EXPECT_EQ(lines_, std::vector<std::string>{"wrote " + made->out.string() + " (0.0 KB)"});
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.json"));
  EXPECT_TRUE(strays({"fifo.json", "link.json", "linked.json", "null"}).empty());
}

// Where opening the destination for writing would fail, replacing it through its
// directory fails the same way, and nothing under the directory changes beyond the
// parent directories made first.
TEST_F(WriteColourMap, DestinationThatCannotBeOpenedFailsAsOpeningItWould) {
  struct Case {
    const char* name;
    std::function<void()> make;  // what stands there beforehand
    std::string out;             // under the scratch directory, as are the two below
    std::string failed;          // the error's message: "write <out>" or "create dir <parent>"
    std::string cause;
    std::vector<std::string> created{};  // directories made on the way
    bool root_may_write = false;
  };
  const Case cases[] = {
      {"symbolic link loop",
       [&] {
         fs::create_symlink("loop_b.json", dir_ / "loop_a.json");
         fs::create_symlink("loop_a.json", dir_ / "loop_b.json");
       },
       "loop_a.json", "write " + (dir_ / "loop_a.json").string(), "Too many levels of symbolic links (os error 40)"},
      {"file the user may not write",
       [&] {
         std::ofstream(dir_ / "read_only.json") << "old";
         fs::permissions(dir_ / "read_only.json", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
       },
       "read_only.json", "write " + (dir_ / "read_only.json").string(), "Permission denied (os error 13)", {}, true},
      // Creating a name that ends in a separator is refused as a directory, whatever is there.
      {"trailing separator after a file",
       [&] { std::ofstream(dir_ / "plain.json") << "old"; },
       "plain.json/", "write " + (dir_ / "plain.json/").string(), "Is a directory (os error 21)"},
      {"trailing separator under a file",
       [&] { std::ofstream(dir_ / "plain") << "old"; },
       "plain/sub/", "create dir " + (dir_ / "plain").string(), "File exists (os error 17)"},
      {"trailing separator with nothing there", [] {}, "x/y/", "write " + (dir_ / "x/y/").string(),
       "Is a directory (os error 21)", {"x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.root_may_write && ::geteuid() == 0) {
      std::cout << "skipped as root, who may write anything: " << c.name << "\n";
      continue;
    }
    c.make();
    const std::map<std::string, std::string> before = snapshot();
    const auto written = write({{0x08000001, {1, 2, 3}}}, dir_ / c.out);
    EXPECT_FALSE(written.has_value());
    if (written.has_value()) continue;
    EXPECT_EQ(written.error().message, c.failed);
    EXPECT_EQ(written.error().causes, std::vector<std::string>{c.cause});
    EXPECT_TRUE(lines_.empty());
    std::map<std::string, std::string> after = snapshot();
    for (const std::string& dir : c.created) {
      EXPECT_TRUE(fs::is_directory(dir_ / dir)) << dir;
      after.erase(dir);
    }
    EXPECT_EQ(after, before);
  }
}

}  // namespace
}  // namespace huemark
