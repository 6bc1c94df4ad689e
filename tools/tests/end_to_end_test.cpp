// Runs the built huemark binary on archives made with the test archive writer and compares
// its standard error, its JSON file and its exit status with values worked out by hand.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "archive_writer.h"
#include "huemark_process.h"
#include "record_writer.h"

namespace huemark {
namespace {

namespace fs = std::filesystem;
using dat::Bytes;
using dat::testing::ArchiveBuilder;
using dat::testing::ByteWriter;
using huemark::testing::ProcessResult;
using huemark::testing::run_huemark;
using namespace dat::testing::format_id;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Bytes repeat(std::initializer_list<std::uint8_t> pixel, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), pixel);
  return out;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           (std::string("e2e_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write_archive(const ArchiveBuilder& builder, const std::string& name = "portal.dat") {
    const fs::path path = dir_ / name;
    EXPECT_TRUE(builder.write_file(path).has_value());
    return path;
  }

  ProcessResult run(std::vector<std::string> args) { return run_huemark(args, dir_); }

  fs::path dir_;
};

// ---------------------------------------------------------------------------------------
// A run's frame: found, progress, done and wrote lines.

TEST_F(EndToEnd, MissingArchiveReportsTwoCausesAndExitsOne) {
  const ProcessResult r = run({"--portal-dat", "/does/not/exist", "--out", "out.json"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "Error: open /does/not/exist\n\nCaused by:\n"
            "    0: Failed to open file at /does/not/exist: No such file or directory (os error 2)\n"
            "    1: No such file or directory (os error 2)\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.json"));
}

TEST_F(EndToEnd, ArchiveWithoutSurfacesWritesTheEmptyMap) {
  ArchiveBuilder builder({.block_size = 64, .max_entries_per_node = 2});
  builder.add_file(0x05000001, Bytes(10, 1)).add_file(0x80000008, Bytes(3, 2)).add_file(0x09000000, Bytes(5, 3));
  const fs::path archive = write_archive(builder);
  const ProcessResult r = run({"--portal-dat", archive.string(), "--out", "nested/dir/map.json"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err,
            "huemark: found 0 surfaces in portal DAT; processing 0\n"
            "done. resolved=0 (solid=0 textured=0) errors=0\n"
            "wrote nested/dir/map.json (0.0 KB)\n");
  EXPECT_EQ(read_file(dir_ / "nested/dir/map.json"), "{\n}\n");
}

// 100 solid surfaces in a deep, scattered, partly compressed directory, among other files.
ArchiveBuilder hundred_surfaces() {
  ArchiveBuilder builder({.block_size = 48, .max_entries_per_node = 3, .placement = dat::testing::Placement::scatter(5)});
  for (std::uint32_t i = 0; i < 100; ++i) {
    const std::uint32_t colour = 0xFF000000u | (i << 16) | ((255 - i) << 8) | (i * 2);
    builder.add_file(0x08000100 + i * 3, dat::testing::solid_surface(colour), {.compressed = i % 4 == 0});
    builder.add_file(0x06000000 + i, Bytes(i, 7), {.compressed = i % 3 == 0});
  }
  builder.add_file(0x07FFFFFF, Bytes(4, 0)).add_file(0x09000000, Bytes(4, 0));
  return builder;
}

TEST_F(EndToEnd, ProgressLinesFollowTheStep) {
  const fs::path archive = write_archive(hundred_surfaces());
  const ProcessResult r = run({"--portal-dat", archive.string(), "--out", "map.json"});
  ASSERT_EQ(r.exit_status, 0) << r.err;

  // n = 100: step 5, a line before items 5, 10, ..., 95, each counting what came before.
  std::string expected = "huemark: found 100 surfaces in portal DAT; processing 100\n";
  for (int i = 5; i < 100; i += 5) expected += fmt::format("  [{:>5}/  100] ok={} (solid={} textured=0) err=0\n", i, i, i);
  expected += "done. resolved=100 (solid=100 textured=0) errors=0\n";
  const std::string json = read_file(dir_ / "map.json");
  expected += fmt::format("wrote map.json ({:.1f} KB)\n", static_cast<double>(json.size()) / 1024.0);
  EXPECT_EQ(r.err, expected);
  // The widths written out once: i in five columns, n in five columns.
  EXPECT_NE(r.err.find("\n  [    5/  100] ok=5 (solid=5 textured=0) err=0\n"), std::string::npos);

  std::string expected_json = "{\n";
  for (std::uint32_t i = 0; i < 100; ++i) {
    expected_json += fmt::format("  \"0x{:08X}\": [{}, {}, {}]{}\n", 0x08000100 + i * 3, i, 255 - i, i * 2,
                                 i == 99 ? "" : ",");
  }
  EXPECT_EQ(json, expected_json + "}\n");
}

TEST_F(EndToEnd, LimitTakesTheSmallestIds) {
  const fs::path archive = write_archive(hundred_surfaces());
  struct Case {
    std::string limit;
    std::string found_line;
    std::size_t entries;
  };
  const Case cases[] = {
      {"3", "huemark: found 100 surfaces in portal DAT; processing 3", 3},
      {"+19", "huemark: found 100 surfaces in portal DAT; processing 19", 19},
      {"1000", "huemark: found 100 surfaces in portal DAT; processing 100", 100},
      {"0", "huemark: found 100 surfaces in portal DAT; processing 100", 100},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run({"--portal-dat=" + archive.string(), "--out=map.json", "--limit", c.limit});
    ASSERT_EQ(r.exit_status, 0) << c.limit;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.found_line);
    const std::string json = read_file(dir_ / "map.json");
    EXPECT_EQ(static_cast<std::size_t>(std::count(json.begin(), json.end(), '\n')), c.entries + 2) << c.limit;
    EXPECT_NE(json.find("\"0x08000100\""), std::string::npos);
    if (c.limit == "3") {
      EXPECT_NE(json.find("\"0x08000106\""), std::string::npos);
      EXPECT_EQ(json.find("\"0x08000109\""), std::string::npos);
    }
    if (c.limit == "+19") {
      // n = 19: step 1, a progress line before every item but the first.
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '['), 18);
    }
  }
}

TEST_F(EndToEnd, UsageErrorsExitTwoAndHelpGoesToStandardOutput) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--limit", "-1"}, {"--limit", "abc"}, {"--limit", "18446744073709551616"}, {"--portal-dat", ""},
           {"--out="}, {"--limit", "1", "--limit", "2"}, {"--nope"}}) {
    const ProcessResult r = run(args);
    EXPECT_EQ(r.exit_status, 2) << args.front();
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(r.err.empty());
  }
  const ProcessResult help = run({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_NE(help.out.find("Emit per-surface dominant-colour JSON for the quorrel fill path"), std::string::npos);
}

TEST_F(EndToEnd, OutputThatCannotBeWrittenEndsWithStatusOne) {
  const fs::path archive = write_archive(hundred_surfaces());
  fs::create_directories(dir_ / "taken.json");
  std::ofstream(dir_ / "plain") << "x";
  struct Case {
    std::string out;
    std::string report;
  };
  const Case cases[] = {
      {"taken.json", "Error: write taken.json\n\nCaused by:\n    Is a directory (os error 21)\n"},
      {"plain/map.json", "Error: create dir plain\n\nCaused by:\n    File exists (os error 17)\n"},
      {"plain/deeper/map.json", "Error: create dir plain/deeper\n\nCaused by:\n    Not a directory (os error 20)\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run({"--portal-dat", archive.string(), "--out", c.out, "--limit", "1"});
    EXPECT_EQ(r.exit_status, 1) << c.out;
    EXPECT_EQ(r.err,
              "huemark: found 100 surfaces in portal DAT; processing 1\n"
              "done. resolved=1 (solid=1 textured=0) errors=0\n" +
                  c.report);
  }
}

// As in `huemark --out /dev/stdout | jq`: a pipe has no name to rename a file over, so
// the JSON goes down it as it is.
TEST_F(EndToEnd, OutputToStandardOutputGoesDownThePipe) {
  const fs::path archive = write_archive(hundred_surfaces());
  const std::string command = fmt::format("cd '{}' && '{}' --portal-dat '{}' --out /dev/stdout --limit 1 2>err.txt",
                                          dir_.string(), HUEMARK_BINARY, archive.string());
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (std::size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(out, "{\n  \"0x08000100\": [0, 255, 0]\n}\n");
  // A pipe reports no size.
  EXPECT_EQ(read_file(dir_ / "err.txt"),
            "huemark: found 100 surfaces in portal DAT; processing 1\n"
            "done. resolved=1 (solid=1 textured=0) errors=0\n"
            "wrote /dev/stdout (0.0 KB)\n");
}

// ---------------------------------------------------------------------------------------
// Every way a surface resolves or fails, side by side.

// A DXT colour block: two 5:6:5 colours and sixteen 2-bit indices.
void colour_block(ByteWriter& w, std::uint16_t c0, std::uint16_t c1, std::uint32_t indices) {
  w.u16(c0).u16(c1).u32(indices);
}

ArchiveBuilder every_kind_of_surface() {
  ArchiveBuilder builder({.block_size = 64, .max_entries_per_node = 4, .placement = dat::testing::Placement::scatter(11)});
  using namespace dat::testing;
  auto textured = [&](std::uint32_t surface, std::uint32_t texture_bytes_id, Bytes texture_bytes,
                      std::uint32_t surface_palette = 0, bool compressed = false) {
    const std::uint32_t mips = 0x05000000 | (surface & 0xFFFF);
    // Only the last mip is read: the first two do not even exist.
    builder.add_file(surface, textured_surface(mips, surface_palette));
    builder.add_file(mips, surface_texture(mips, {0x05EEEE01, 0x05EEEE02, texture_bytes_id}));
    builder.add_file(texture_bytes_id, std::move(texture_bytes), {.compressed = compressed});
  };

  // Solid surfaces, including the smallest and the largest surface id.
  builder.add_file(0x08000000, solid_surface(0x00000000));
  builder.add_file(0x08000001, solid_surface(0xFF123456));
  builder.add_file(0x08000002, solid_surface(0x00ABCDEF, 0x19), {.compressed = true});
  builder.add_file(0x08FFFFFF, solid_surface(0xFFFFFFFF));

  // Direct colour: stored B, G, R for R8G8B8 and R, G, B for the landscape kind.
  textured(0x08000010, 0x06000010, texture(0x06000010, 5, 5, kR8G8B8, repeat({0x10, 0x20, 0x30}, 25)));
  textured(0x08000011, 0x06000011, texture(0x06000011, 1, 1, kA8R8G8B8, Bytes{1, 2, 3, 255}));
  textured(0x08000012, 0x06000012, texture(0x06000012, 2, 1, kA8R8G8B8, repeat({50, 60, 70, 127}, 2)));
  textured(0x08000013, 0x06000013, texture(0x06000013, 3, 3, kLscapeR8G8B8, repeat({200, 100, 50}, 9)));
  textured(0x08000014, 0x06000014, texture(0x06000014, 2, 2, kA8, Bytes{7, 7, 7, 200}));
  textured(0x08000015, 0x06000015, texture(0x06000015, 1, 1, kLscapeAlpha, Bytes{0x99, 0xEE}));

  // Palettised: the texture's own palette, and the surface's palette in its place.
  builder.add_file(0x04000001, palette(0x04000001, {0xFF0000FF, 0x80FF0000, 0x00FFFFFF}));
  builder.add_file(0x04000002, palette(0x04000002, {0xFF00FF00, 0xFF0000FF, 0xFF00FF00}), {.compressed = true});
  textured(0x08000016, 0x06000016, texture(0x06000016, 4, 1, kP8, Bytes{1, 1, 0, 2}, 0x04000001));
  textured(0x08000017, 0x06000017, texture(0x06000017, 4, 1, kP8, Bytes{1, 1, 0, 2}, 0x04000001), 0x04000002);
  std::vector<std::uint32_t> big_palette(514, 0xFF000000);
  big_palette[513] = 0xFF102030;
  builder.add_file(0x04000003, palette(0x04000003, big_palette));
  textured(0x08000018, 0x06000018, texture(0x06000018, 2, 1, kIndex16, Bytes{0x01, 0x02, 0x01, 0x02}, 0x04000003));
  // A direct-colour texture ignores the surface's palette, even one that does not exist.
  textured(0x08000019, 0x06000019, texture(0x06000019, 1, 1, kA8, Bytes{42}), 0x04DEAD00);

  // Block-compressed, with partial edge blocks.
  ByteWriter dxt1;
  for (int block = 0; block < 4; ++block) colour_block(dxt1, 0xFFFF, 0x0000, 0xAAAAAAAA);  // index 2: 170 grey
  textured(0x0800001A, 0x0600001A, texture(0x0600001A, 5, 5, kDxt1, dxt1.data()));
  ByteWriter dxt3;
  dxt3.bytes(Bytes(8, 0x88));                    // alpha 8 * 17 = 136 everywhere
  colour_block(dxt3, 20 << 11, 0x0000, 0);       // red 20 expands to 164
  textured(0x0800001B, 0x0600001B, texture(0x0600001B, 4, 4, kDxt3, dxt3.data()));
  ByteWriter dxt5;
  // Alpha 255 / 0 in eight-value mode: texels 0-7 take index 0 (255), texels 8-15 index 7 (36).
  dxt5.u8(255).u8(0).u16(0).u32(0xFFFFFF00);
  // Texels 0-7 take colour 1 (blue), texels 8-15 colour 0 (green): only blue is opaque enough.
  colour_block(dxt5, 0x07E0, 0x001F, 0x00005555);
  textured(0x0800001C, 0x0600001C, texture(0x0600001C, 4, 4, kDxt5, dxt5.data()));
  ByteWriter dxt1_transparent;
  colour_block(dxt1_transparent, 0x1234, 0x1234, 0xFFFFFFFF);  // equal colours: index 3 is transparent
  textured(0x0800001D, 0x0600001D, texture(0x0600001D, 1, 1, kDxt1, dxt1_transparent.data()));

  // A compressed 16x16 texture, and an empty one.
  textured(0x0800001E, 0x0600001E, texture(0x0600001E, 16, 16, kR8G8B8, repeat({199, 99, 9}, 256)), 0, true);
  textured(0x0800001F, 0x0600001F, texture(0x0600001F, 0, 4, kA8R8G8B8, Bytes{}));

  // Failures, one of each kind; 0x08000030 gets its damage after the build.
  builder.add_file(0x08000030, solid_surface(0xFF777777));
  builder.add_file(0x08000031, textured_surface(0x05DEAD31, 0));  // no such SurfaceTexture
  builder.add_file(0x08000032, textured_surface(0x05000032, 0));
  builder.add_file(0x05000032, surface_texture(0x05000032, {}));  // no mips
  builder.add_file(0x08000033, Bytes(10, 0));                     // cut inside color_value
  Bytes cut = texture(0x06000034, 2, 2, kA8, Bytes{1, 2, 3, 4});
  cut.pop_back();  // source_data one byte short of its length
  textured(0x08000034, 0x06000034, std::move(cut));
  textured(0x08000035, 0x06000035, texture(0x06000035, 1, 1, kR5G6B5, Bytes{0, 0}));
  textured(0x08000036, 0x06000036, texture(0x06000036, 2, 1, kP8, Bytes{2, 3}, 0x04000001));  // 3 of 3
  textured(0x08000037, 0x06000037, texture(0x06000037, 1, 1, kP8, Bytes{0}, 0x04DEAD37));     // no palette
  textured(0x08000038, 0x06000038, ByteWriter().u32(0x06000038).u32(0).i32(1).i32(1).u32(kA8).i32(-1).take());
  builder.add_file(0x08000039, textured_surface(0x05000039, 0));
  builder.add_file(0x05000039, ByteWriter().u32(0x05000039).u32(0).u8(0).i32(-5).u32(1).take());
  textured(0x0800003A, 0x0600003A, texture(0x0600003A, -1, -1, kDxt1, Bytes(8, 0)));  // 2^32 x 2^32 pixels
  textured(0x0800003B, 0x0600003B, texture(0x0600003B, 4, 4, kP8, Bytes(15, 0), 0x04000001));
  // Marked compressed, announcing 4 GiB, holding one literal: no 4 GiB buffer, just a short record.
  builder.add_file(0x0800003C, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x61}, {.extra_flags = 1});
  return builder;
}

TEST_F(EndToEnd, EverySurfaceGetsItsColourOrIsCounted) {
  dat::testing::BuiltArchive built = every_kind_of_surface().build_image();
  built.patch_entry(0x08000030, dat::testing::EntryField::Offset, 0x7FFFFF00);  // chain beyond the end
  const fs::path archive = dir_ / "portal.dat";
  ASSERT_TRUE(built.image.write_file(archive).has_value());

  const ProcessResult r = run({"--portal-dat", archive.string(), "--out", "data/huemark.json"});
  ASSERT_EQ(r.exit_status, 0) << r.err;

  // Worked out by hand from the records above.
  const std::string expected_json =
      "{\n"
      "  \"0x08000000\": [0, 0, 0],\n"
      "  \"0x08000001\": [18, 52, 86],\n"         // top byte of the colour ignored
      "  \"0x08000002\": [171, 205, 239],\n"      // surface type 0x19: bits 1 and 2 clear
      "  \"0x08000010\": [48, 32, 16],\n"         // R8G8B8 stores blue first
      "  \"0x08000011\": [3, 2, 1],\n"
      "  \"0x08000012\": [128, 128, 128],\n"      // alpha 127 never counts
      "  \"0x08000013\": [200, 100, 50],\n"       // the landscape kind stores red first
      "  \"0x08000014\": [7, 7, 7],\n"            // three pixels of 7 beat one of 200
      "  \"0x08000015\": [153, 153, 153],\n"
      "  \"0x08000016\": [255, 0, 0],\n"          // two half-opaque reds from the texture's palette
      "  \"0x08000017\": [0, 255, 0],\n"          // surface palette: 2 blue, 2 green; green's bucket is higher
      "  \"0x08000018\": [16, 32, 48],\n"         // Index16 01 02 is entry 513
      "  \"0x08000019\": [42, 42, 42],\n"         // the surface palette is not fetched for A8
      "  \"0x0800001A\": [170, 170, 170],\n"      // (2 * 255 + 0) / 3
      "  \"0x0800001B\": [164, 0, 0],\n"          // 5-bit 20 expands to 164; alpha 136
      "  \"0x0800001C\": [0, 0, 255],\n"          // the green half has alpha 36
      "  \"0x0800001D\": [128, 128, 128],\n"      // transparent black only
      "  \"0x0800001E\": [9, 99, 199],\n"
      "  \"0x0800001F\": [128, 128, 128],\n"      // no pixels
      "  \"0x08FFFFFF\": [255, 255, 255]\n"
      "}\n";
  EXPECT_EQ(read_file(dir_ / "data/huemark.json"), expected_json);

  // In id order: 3 solid, 16 textured, 13 failures, 1 solid; step 1 with n = 33.
  const std::string outcomes = "SSSTTTTTTTTTTTTTTTTEEEEEEEEEEEEES";
  std::string expected_err = "huemark: found 33 surfaces in portal DAT; processing 33\n";
  int solid = 0, textured = 0, errors = 0;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    if (i != 0) {
      expected_err += fmt::format("  [{:>5}/   33] ok={} (solid={} textured={}) err={}\n", i, solid + textured, solid,
                                  textured, errors);
    }
    (outcomes[i] == 'S' ? solid : outcomes[i] == 'T' ? textured : errors) += 1;
  }
  expected_err += "done. resolved=20 (solid=4 textured=16) errors=13\n";
  expected_err += fmt::format("wrote data/huemark.json ({:.1f} KB)\n", static_cast<double>(expected_json.size()) / 1024);
  EXPECT_EQ(r.err, expected_err);

  // Byte-identical on a second run.
  const ProcessResult again = run({"--portal-dat", archive.string(), "--out", "data/again.json"});
  ASSERT_EQ(again.exit_status, 0);
  EXPECT_EQ(read_file(dir_ / "data/again.json"), expected_json);
}

// ---------------------------------------------------------------------------------------
// Damaged archives: each ends quickly, in little memory, with the documented outcome.

struct Damage {
  std::string name;
  std::function<dat::Bytes()> archive;
  int exit_status;
  // Exit 1: a text the report must contain. Exit 0: the done line.
  std::string expected;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr long kPeakRssLimitKb = 400 * 1024;  // the sanitizer's shadow memory comes on top
#else
constexpr long kPeakRssLimitKb = 64 * 1024;
#endif

dat::Bytes with_header_cut_at(std::size_t length) {
  dat::Bytes bytes = ArchiveBuilder().add_file(0x08000001, dat::testing::solid_surface(1)).build();
  bytes.resize(length);
  return bytes;
}

// A two-node directory whose child points back at `back_to_root ? the root : itself`.
dat::Bytes looping_directory(bool back_to_root) {
  dat::testing::ArchiveImage image(256);
  const auto nodes = image.reserve_chains(std::vector<dat::testing::ChainRequest>(2, {.size = 1716}));
  dat::testing::NodeContent root{.entries = {dat::DatFileEntry{0, 0x08000001, 0, 0, 0, 0}}};
  root.branches[0] = nodes[1].offset;
  dat::testing::NodeContent child{.entries = {dat::DatFileEntry{0, 0x08000002, 0, 0, 0, 0}}};
  child.branches[0] = back_to_root ? nodes[0].offset : nodes[1].offset;
  image.write_node(nodes[0], root);
  image.write_node(nodes[1], child);
  image.header().root_offset = nodes[0].offset;
  return image.bytes();
}

// One surface whose own file (or whose texture) carries the damage; `patch` may damage the
// built image further.
dat::Bytes one_surface(dat::Bytes surface, std::uint32_t block_size = 64,
                       std::function<void(dat::testing::BuiltArchive&)> patch = nullptr,
                       std::vector<std::pair<std::uint32_t, dat::Bytes>> more = {},
                       dat::testing::FileOptions options = {}) {
  ArchiveBuilder builder({.block_size = block_size});
  builder.add_file(0x08000001, std::move(surface), options);
  for (auto& [id, bytes] : more) builder.add_file(id, std::move(bytes));
  dat::testing::BuiltArchive built = builder.build_image();
  if (patch) patch(built);
  return built.image.bytes();
}

// A surface whose last mip is `texture_bytes`.
dat::Bytes textured_with(dat::Bytes texture_bytes, std::vector<std::pair<std::uint32_t, dat::Bytes>> more = {}) {
  more.emplace_back(0x05000001, dat::testing::surface_texture(0x05000001, {0x06000001}));
  more.emplace_back(0x06000001, std::move(texture_bytes));
  return one_surface(dat::testing::textured_surface(0x05000001, 0), 64, nullptr, std::move(more));
}

const std::string kOneFailed = "done. resolved=0 (solid=0 textured=0) errors=1";

std::vector<Damage> damage_cases() {
  using dat::testing::ByteWriter;
  using dat::testing::EntryField;
  std::vector<Damage> cases;
  const std::pair<std::size_t, const char*> cuts[] = {{0, "magic"},         {323, "magic"},      {326, "block_size"},
                                                      {352, "root_offset"}, {379, "game_version"}, {385, "version_string"},
                                                      {398, "version_minor"}};
  for (const auto& [length, field] : cuts) {
    cases.push_back({fmt::format("HeaderCutAt{}", length), [length] { return with_header_cut_at(length); }, 1,
                     fmt::format("While parsing field '{}' in DatHeader", field)});
  }
  cases.push_back({"DirectoryLoopsToItself", [] { return looping_directory(false); }, 1, "links back to itself"});
  cases.push_back({"DirectoryLoopsToTheRoot", [] { return looping_directory(true); }, 1, "links back to itself"});
  cases.push_back({"EntryCount62",
                   [] {
                     dat::testing::ArchiveImage image(256);
                     std::vector<dat::DatFileEntry> entries(61, dat::DatFileEntry{0, 0x08000001, 0, 0, 0, 0});
                     image.header().root_offset =
                         image.append_node(dat::testing::NodeContent{.entries = entries, .entry_count = 62}).offset;
                     return image.bytes();
                   },
                   1, "While parsing field 'bit_flags' in DatFileEntry"});
  cases.push_back({"RootBeyondTheEnd",
                   [] {
                     dat::testing::ArchiveImage image(256);
                     image.header().root_offset = 0x40000000;
                     return image.bytes();
                   },
                   1, "IO error: failed to fill whole buffer"});
  cases.push_back({"RootChainLoopsWithoutPayload",
                   [] {
                     dat::testing::ArchiveImage image(4);
                     const std::uint32_t a = image.append_raw(dat::Bytes(4));
                     const std::uint32_t b = image.append_raw(dat::Bytes(4));
                     image.patch_u32(a, b);
                     image.patch_u32(b, a);
                     image.header().root_offset = a;
                     return image.bytes();
                   },
                   1, "Corruption detected"});
  cases.push_back({"BlockSizeBelowFour",
                   [] {
                     dat::Bytes bytes = ArchiveBuilder().add_file(0x08000001, dat::testing::solid_surface(1)).build();
                     bytes[324] = 2;
                     bytes[325] = bytes[326] = bytes[327] = 0;
                     return bytes;
                   },
                   1, "Corruption detected: block size 2"});

  cases.push_back({"FileChainBeyondTheEnd",
                   [] {
                     return one_surface(dat::testing::solid_surface(1), 64, [](dat::testing::BuiltArchive& built) {
                       built.patch_entry(0x08000001, EntryField::Offset, 0x7FFFFFF0);
                     });
                   },
                   0, kOneFailed});
  cases.push_back({"FileChainLoopsWithoutPayload",
                   [] {
                     return one_surface(dat::testing::solid_surface(1), 4, [](dat::testing::BuiltArchive& built) {
                       const dat::testing::Chain& chain = built.files.at(0x08000001);
                       built.image.patch_u32(chain.blocks[0], chain.blocks[0]);
                     });
                   },
                   0, kOneFailed});
  cases.push_back({"AbsurdFileSize",
                   [] {
                     return one_surface(dat::testing::solid_surface(1), 64, [](dat::testing::BuiltArchive& built) {
                       built.patch_entry(0x08000001, EntryField::Size, 0xFFFFFFF0);
                     });
                   },
                   0, kOneFailed});
  cases.push_back({"AbsurdLrsAnnouncedSize",
                   [] {
                     ByteWriter stream;
                     stream.u32(0xFFFFFFFF).u8(0x00);
                     for (int i = 0; i < 8; ++i) stream.u8(0x41);
                     return one_surface(stream.take(), 64, nullptr, {}, {.extra_flags = 1});
                   },
                   0, kOneFailed});
  cases.push_back({"NegativeDxtDimensions",
                   [] { return textured_with(dat::testing::texture(0x06000001, -1, -1, kDxt5, dat::Bytes(16, 0))); },
                   0, kOneFailed});
  cases.push_back({"HugeDxtDimensions",
                   [] { return textured_with(dat::testing::texture(0x06000001, 65535, 65535, kDxt1, dat::Bytes(8, 0))); },
                   0, kOneFailed});
  cases.push_back({"HugeDirectDimensions",
                   [] { return textured_with(dat::testing::texture(0x06000001, 1 << 20, 1 << 20, kA8R8G8B8, {})); },
                   0, kOneFailed});
  cases.push_back({"NegativeTextureLength",
                   [] {
                     return textured_with(ByteWriter().u32(0x06000001).u32(0).i32(1).i32(1).u32(kA8).i32(-1).take());
                   },
                   0, kOneFailed});
  cases.push_back({"HugeTextureLength",
                   [] {
                     return textured_with(
                         ByteWriter().u32(0x06000001).u32(0).i32(1).i32(1).u32(kA8).i32(0x7FFFFFFF).u8(1).take());
                   },
                   0, kOneFailed});
  cases.push_back({"NegativeMipCount",
                   [] {
                     return one_surface(dat::testing::textured_surface(0x05000001, 0), 64, nullptr,
                                        {{0x05000001, ByteWriter().u32(0x05000001).u32(0).u8(0).i32(-1).take()}});
                   },
                   0, kOneFailed});
  cases.push_back({"HugeMipCount",
                   [] {
                     return one_surface(dat::testing::textured_surface(0x05000001, 0), 64, nullptr,
                                        {{0x05000001, ByteWriter().u32(0x05000001).u32(0).u8(0).i32(0x7FFFFFFF).take()}});
                   },
                   0, kOneFailed});
  cases.push_back({"NegativePaletteCount",
                   [] {
                     return textured_with(dat::testing::texture(0x06000001, 1, 1, kP8, dat::Bytes{0}, 0x04000001),
                                          {{0x04000001, ByteWriter().u32(0x04000001).i32(-1).take()}});
                   },
                   0, kOneFailed});
  return cases;
}

class DamagedArchive : public EndToEnd, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedArchive, EndsQuicklyInLittleMemory) {
  const Damage& damage = GetParam();
  const fs::path archive = dir_ / "damaged.dat";
  ASSERT_TRUE(dat::testing::write_bytes(archive, damage.archive()).has_value());
  const ProcessResult r = run({"--portal-dat", archive.string(), "--out", "map.json"});
  EXPECT_EQ(r.exit_status, damage.exit_status) << r.err;
  EXPECT_LT(r.elapsed, std::chrono::seconds(1));
  EXPECT_LT(r.peak_rss_kb, kPeakRssLimitKb);
  if (damage.exit_status == 1) {
    EXPECT_EQ(r.err.rfind("Error: open " + archive.string() + "\n\nCaused by:\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(damage.expected), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "map.json"));
  } else {
    EXPECT_NE(r.err.find("\n" + damage.expected + "\n"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir_ / "map.json"), "{\n}\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedArchive, ::testing::ValuesIn(damage_cases()),
                         [](const ::testing::TestParamInfo<Damage>& info) { return info.param.name; });

}  // namespace
}  // namespace huemark
