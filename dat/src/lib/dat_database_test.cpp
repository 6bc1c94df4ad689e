#include "lib/dat_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "archive_writer.h"
#include "lrs_compressor.h"

namespace dat {
namespace {

namespace fs = std::filesystem;
using dat::testing::ArchiveImage;
using dat::testing::Chain;
using dat::testing::ChainLayout;
using dat::testing::make_entry;
using dat::testing::NodeContent;

Bytes sequence(std::size_t size, std::uint8_t seed = 1) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
  return data;
}

// Frame 0's message and inner text of a BinRead error, or a description of what it was instead.
std::string bin_read_summary(const DatError& error) {
  if (error.kind() != DatError::Kind::BinRead) return "not BinRead: " + error.text();
  const RecordReadError& record = *error.record_error();
  std::string inner = std::holds_alternative<IoError>(record.inner())
                          ? std::get<IoError>(record.inner()).text()
                          : RecordReadError(std::get<AssertionFailure>(record.inner())).text();
  if (record.frames().empty()) return inner;
  return inner + " / " + std::get<LocatedFrame>(record.frames()[0]).message;
}

class DatDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::path(::testing::TempDir()) /
            (std::string("dat_database_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat");
  }
  void TearDown() override { fs::remove(path_); }

  std::expected<DatDatabase, DatError> open(const Bytes& bytes) {
    auto written = dat::testing::write_bytes(path_, bytes);
    EXPECT_TRUE(written.has_value());
    return DatDatabase::open(path_);
  }
  std::expected<DatDatabase, DatError> open(const ArchiveImage& image) { return open(image.bytes()); }

  // An archive whose root leaf lists the given files.
  std::expected<DatDatabase, DatError> open_with_files(ArchiveImage& image, std::vector<DatFileEntry> entries) {
    image.header().root_offset = image.append_node(NodeContent{.entries = std::move(entries)}).offset;
    return open(image);
  }

  // Reading file `id` fails as Corruption, and at once: a damaged chain must not keep the
  // reader busy.
  static void expect_corruption_quickly(const DatDatabase& db, std::uint32_t id) {
    const auto started = std::chrono::steady_clock::now();
    const auto got = db.get_file(id);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error().kind(), DatError::Kind::Corruption);
  }

  fs::path path_;
};

TEST_F(DatDatabaseTest, MissingFileIsAPathError) {
  const auto db = DatDatabase::open("/does/not/exist/\xFF.dat");
  ASSERT_FALSE(db.has_value());
  EXPECT_EQ(db.error().kind(), DatError::Kind::PathError);
  EXPECT_EQ(db.error().text(),
            "Failed to open file at /does/not/exist/\xEF\xBF\xBD.dat: No such file or directory (os error 2)");
  EXPECT_EQ(db.error().causes(), std::vector<std::string>{"No such file or directory (os error 2)"});
}

TEST_F(DatDatabaseTest, ShortHeaderNamesTheFirstFieldNotReadWhole) {
  const Bytes whole = ArchiveImage(64).bytes();
  struct Case {
    std::size_t length;
    std::string summary;
  };
  const std::string fill = "failed to fill whole buffer / While parsing field '";
  const Case cases[] = {
      {0, fill + "magic' in DatHeader"},
      {323, fill + "magic' in DatHeader"},
      {324, fill + "block_size' in DatHeader"},
      {330, fill + "file_size' in DatHeader"},
      {352, fill + "root_offset' in DatHeader"},
      {379, fill + "game_version' in DatHeader"},
      {380, "not enough bytes in reader / While parsing field 'version_string' in DatHeader"},
      {390, "not enough bytes in reader / While parsing field 'version_string' in DatHeader"},
      {396, fill + "version_minor' in DatHeader"},
      {399, fill + "version_minor' in DatHeader"},
  };
  for (const Case& c : cases) {
    const auto db = open(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.length)));
    ASSERT_FALSE(db.has_value()) << c.length;
    EXPECT_EQ(bin_read_summary(db.error()), c.summary) << c.length;
  }
}

TEST_F(DatDatabaseTest, ShortHeaderTextIsTheFullBacktrace) {
  const auto db = open(Bytes(100, 0));
  ASSERT_FALSE(db.has_value());
  const auto& frame = std::get<LocatedFrame>(db.error().record_error()->frames().at(0));
  EXPECT_EQ(frame.file, "dat/src/lib/dat_header.cpp");
  std::string rule = "\n \u257a";
  for (int i = 0; i < 53; ++i) rule += "\u2501";
  EXPECT_EQ(db.error().text(),
            "Binary read error: \n \u257a\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
            "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2505 Backtrace \u2505\u2501\u2501\u2501\u2501\u2501"
            "\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2578\n\n"
            " 0: \x1b[1m\x1b[1mError: failed to fill whole buffer\x1b[22m\n           \x1b[1mWhile parsing field "
            "'magic' in DatHeader\x1b[22m\x1b[22m\n     at dat/src/lib/dat_header.cpp:" +
                std::to_string(frame.line) + "\n" + rule + "\u2578\n\n");
}

TEST_F(DatDatabaseTest, DirectoryAsArchiveFailsReadingTheHeader) {
  const auto db = DatDatabase::open(::testing::TempDir());
  ASSERT_FALSE(db.has_value());
  EXPECT_EQ(bin_read_summary(db.error()), "Is a directory (os error 21) / While parsing field 'magic' in DatHeader");
}

TEST_F(DatDatabaseTest, ZeroRootOffsetOpensEmptyWhateverTheHeaderHolds) {
  ArchiveImage image(4);
  image.header().magic = 0;
  image.header().block_size = 0;  // never used: there is nothing to read
  image.header().version_string = Bytes(16, 0xEE);
  auto db = open(image);
  ASSERT_TRUE(db.has_value()) << db.error().text();
  EXPECT_TRUE(db->files().empty());
  EXPECT_EQ(db->header().version_string, Bytes(16, 0xEE));
  const auto missing = db->get_file(0x08000001);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().text(), "File ID 08000001 not found in provider");
}

TEST_F(DatDatabaseTest, HeaderFieldsAreKeptAsRead) {
  ArchiveImage image(64);
  DatHeader& h = image.header();
  h.magic = 0x5442;
  h.file_size = 1;
  h.dataset = 2;
  h.subset = 3;
  h.free_head = 4;
  h.free_tail = 5;
  h.free_count = 6;
  h.new_lru = 7;
  h.old_lru = 8;
  h.use_lru = 9;
  h.master_map_id = 10;
  h.engine_version = 11;
  h.game_version = 12;
  h.version_string = sequence(16);
  h.version_minor = 13;
  auto db = open(image);
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->header(), h);
}

// Entries for directory tests; their chains are never read.
DatFileEntry entry(std::uint32_t id, std::uint32_t offset = 0) { return DatFileEntry{0, id, offset, 0, 0, 0}; }

TEST_F(DatDatabaseTest, LeafEntriesAndDuplicatesLaterSlotWins) {
  ArchiveImage image(256);
  auto db = open_with_files(image, {entry(1, 100), entry(2), entry(1, 200)});
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->files().size(), 2u);
  EXPECT_EQ(db->files().at(1).offset, 200u);
}

TEST_F(DatDatabaseTest, BranchRulesDecideWhichChildrenAreRead) {
  ArchiveImage image(1024);
  std::vector<std::uint32_t> child(6);
  for (std::uint32_t i = 0; i < 6; ++i) {
    child[i] = image.append_node(NodeContent{.entries = {entry(100 + i), entry(7, 1000 + i)}}).offset;
  }
  struct Case {
    std::string name;
    NodeContent root;
    std::vector<std::uint32_t> children_read;  // indexes into `child`
  };
  NodeContent pointer1_only{.entries = {entry(1)}};
  pointer1_only.branches[1] = child[1];
  NodeContent count2{.entries = {entry(1), entry(2)}};
  for (std::size_t i = 0; i < 6; ++i) count2.branches[i] = child[i];
  NodeContent count0;
  count0.branches[0] = child[0];
  count0.branches[1] = child[1];
  NodeContent skipped_zero{.entries = {entry(1), entry(2)}};
  skipped_zero.branches[0] = child[0];
  skipped_zero.branches[2] = child[2];
  const Case cases[] = {
      {"LeafIgnoresPointer1", pointer1_only, {}},
      {"CountPlusOnePointers", count2, {0, 1, 2}},
      {"CountZeroFollowsPointer0", count0, {0}},
      {"ZeroPointersSkipped", skipped_zero, {0, 2}},
  };
  for (const Case& c : cases) {
    ArchiveImage copy = image;
    copy.header().root_offset = copy.append_node(c.root).offset;
    auto db = open(copy);
    ASSERT_TRUE(db.has_value()) << c.name;
    for (std::uint32_t i = 0; i < 6; ++i) {
      const bool read = std::find(c.children_read.begin(), c.children_read.end(), i) != c.children_read.end();
      EXPECT_EQ(db->files().contains(100 + i), read) << c.name << " child " << i;
    }
    // Id 7 is in every child: the last child read, in pointer order, wins.
    if (!c.children_read.empty()) {
      EXPECT_EQ(db->files().at(7).offset, 1000 + c.children_read.back()) << c.name;
    }
  }
}

TEST_F(DatDatabaseTest, ChildEntryReplacesItsParents) {
  ArchiveImage image(1024);
  const std::uint32_t leaf = image.append_node(NodeContent{.entries = {entry(5, 2)}}).offset;
  NodeContent root{.entries = {entry(5, 1)}};
  root.branches[0] = leaf;
  image.header().root_offset = image.append_node(root).offset;
  auto db = open(image);
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->files().at(5).offset, 2u);
}

TEST_F(DatDatabaseTest, EntryCountLimits) {
  std::vector<DatFileEntry> full;
  for (std::uint32_t i = 0; i < 61; ++i) full.push_back(entry(i + 1));
  {
    ArchiveImage image(1024);
    auto db = open_with_files(image, full);
    ASSERT_TRUE(db.has_value());
    EXPECT_EQ(db->files().size(), 61u);
  }
  for (const std::uint32_t count : {62u, 0xFFFFFFFFu}) {
    ArchiveImage image(1024);
    image.header().root_offset = image.append_node(NodeContent{.entries = full, .entry_count = count}).offset;
    const auto db = open(image);
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(bin_read_summary(db.error()),
              "failed to fill whole buffer / While parsing field 'bit_flags' in DatFileEntry");
  }
}

TEST_F(DatDatabaseTest, UnusedSlotsAreIgnored) {
  ArchiveImage image(1024);
  image.header().root_offset =
      image.append_node(NodeContent{.entries = {entry(1), entry(2), entry(3)}, .entry_count = 1, .unused_fill = 0x5A})
          .offset;
  auto db = open(image);
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->files().size(), 1u);
  EXPECT_TRUE(db->files().contains(1));
}

TEST_F(DatDatabaseTest, NodeReachedAgainIsLoadedAgain) {
  {
    // The root's pointers name S, then T, then S again: S's entry for id 7 is inserted
    // again after T's, so it is the one kept.
    ArchiveImage image(1024);
    const std::uint32_t s = image.append_node(NodeContent{.entries = {entry(7, 0x5000)}}).offset;
    const std::uint32_t t = image.append_node(NodeContent{.entries = {entry(7, 0x7000)}}).offset;
    NodeContent root{.entries = {entry(1), entry(2)}};
    root.branches[0] = s;
    root.branches[1] = t;
    root.branches[2] = s;
    image.header().root_offset = image.append_node(root).offset;
    auto db = open(image);
    ASSERT_TRUE(db.has_value()) << db.error().text();
    EXPECT_EQ(db->files().size(), 3u);
    EXPECT_EQ(db->files().at(7).offset, 0x5000u);
  }
  {
    // Every pointer of a full root names node A, and every pointer of A names leaf B:
    // 1 + 62 + 62 * 62 nodes are loaded, from an archive of three.
    ArchiveImage image(1720);
    const std::uint32_t leaf = image.append_node(NodeContent{.entries = {entry(1000)}}).offset;
    std::vector<DatFileEntry> entries_a;
    std::vector<DatFileEntry> entries_root;
    for (std::uint32_t k = 0; k < 61; ++k) {
      entries_a.push_back(entry(100 + k));
      entries_root.push_back(entry(200 + k));
    }
    NodeContent a{.entries = entries_a};
    a.branches.fill(leaf);
    NodeContent root{.entries = entries_root};
    root.branches.fill(image.append_node(a).offset);
    image.header().root_offset = image.append_node(root).offset;
    auto db = open(image);
    ASSERT_TRUE(db.has_value()) << db.error().text();
    EXPECT_EQ(db->files().size(), 123u);
  }
}

TEST_F(DatDatabaseTest, PointerBackToItselfOrAnAncestorIsCorruption) {
  for (const bool to_self : {true, false}) {
    ArchiveImage image(1024);
    const auto chains = image.reserve_chains(std::vector<dat::testing::ChainRequest>(2, {.size = 1716}));
    NodeContent root{.entries = {entry(1)}};
    root.branches[0] = chains[1].offset;
    NodeContent child{.entries = {entry(2)}};
    child.branches[0] = to_self ? chains[1].offset : chains[0].offset;
    image.write_node(chains[0], root);
    image.write_node(chains[1], child);
    image.header().root_offset = chains[0].offset;
    const auto started = std::chrono::steady_clock::now();
    const auto db = open(image);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    ASSERT_FALSE(db.has_value());
    EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
    EXPECT_NE(db.error().text().find(fmt::format("0x{:08X}", to_self ? chains[1].offset : chains[0].offset)),
              std::string::npos)
        << db.error().text();
  }
}

TEST_F(DatDatabaseTest, NodesSharedByEveryBranchAreRefusedQuickly) {
  // Thirty levels, each node's 62 pointers all naming the node below: 62^30 visits if each
  // were loaded again. A sound directory has at most one node per 1716 archive bytes, so the
  // walk gives up long before that.
  ArchiveImage image(1720);
  std::uint32_t below = image.append_node(NodeContent{.entries = {entry(1)}}).offset;
  for (int level = 0; level < 30; ++level) {
    NodeContent node{.entries = std::vector<DatFileEntry>(61, entry(2))};
    node.branches.fill(below);
    below = image.append_node(node).offset;
  }
  image.header().root_offset = below;
  const auto started = std::chrono::steady_clock::now();
  const auto db = open(image);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  ASSERT_FALSE(db.has_value());
  EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
}

TEST_F(DatDatabaseTest, VeryDeepTreeLoadsWithoutExhaustingTheStack) {
  constexpr std::uint32_t kDepth = 20000;
  ArchiveImage image(1720);  // one block per node keeps the image small
  std::uint32_t below = 0;
  for (std::uint32_t level = 0; level < kDepth; ++level) {
    NodeContent node{.entries = {entry(level + 1)}};
    node.branches[0] = below;
    below = image.append_node(node).offset;
  }
  image.header().root_offset = below;
  auto db = open(image);
  ASSERT_TRUE(db.has_value()) << db.error().text();
  EXPECT_EQ(db->files().size(), kDepth);
}

TEST_F(DatDatabaseTest, ChainShapesReadBack) {
  struct Case {
    std::string name;
    std::uint32_t block_size;
    std::size_t size;
    ChainLayout layout;
  };
  const Case cases[] = {
      {"OnePayloadLinkNotFollowed", 64, 60, {.last_link = 0xFFFFFFF0}},
      {"ExactlyTwoPayloads", 64, 120, {.last_link = 0xFFFFFFF0}},
      {"ManyBlocks", 64, 10000, {}},
      {"ZeroLinkWithMoreToCome", 64, 1000, {.zero_link_block = 2}},
      {"ZeroLinkAtTheFirstBlock", 16, 500, {.zero_link_block = 0}},
      {"NoPayloadBlockSize4", 4, 300, {.zero_link_block = 3}},
      {"BlockSize5", 5, 77, {}},
  };
  for (const Case& c : cases) {
    ArchiveImage image(c.block_size);
    const Bytes data = sequence(c.size, static_cast<std::uint8_t>(c.size));
    const Chain chain = image.append_chain(data, c.layout, dat::testing::Placement::scatter(c.size));
    auto db = open_with_files(image, {make_entry(0x06000001, chain)});
    ASSERT_TRUE(db.has_value()) << c.name;
    auto got = db->get_file(0x06000001);
    ASSERT_TRUE(got.has_value()) << c.name << ": " << got.error().text();
    EXPECT_EQ(*got, data) << c.name;
  }
}

TEST_F(DatDatabaseTest, ZeroSizeReadsNothing) {
  ArchiveImage image(64);
  auto db = open_with_files(image, {DatFileEntry{0, 1, 0xFFFFFF00, 0, 0, 0}});
  ASSERT_TRUE(db.has_value());
  auto got = db->get_file(1);
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(got->empty());
}

TEST_F(DatDatabaseTest, CompressedEntriesAreExpandedAndOtherFlagsIgnored) {
  ArchiveImage image(64);
  const Bytes data = sequence(3000);
  const Bytes packed = dat::testing::compress_lrs(data);
  const Chain raw = image.append_chain(data);
  const Chain compressed = image.append_chain(packed);
  auto db = open_with_files(image, {make_entry(1, raw, 0xFFFFFFFE), make_entry(2, compressed, 0x3),
                                    make_entry(3, compressed, 0x0)});
  ASSERT_TRUE(db.has_value());
  EXPECT_EQ(db->get_file(1).value(), data);
  EXPECT_EQ(db->get_file(2).value(), data);
  EXPECT_EQ(db->get_file(3).value(), packed);
}

TEST_F(DatDatabaseTest, DamagedChainsFailOnlyTheirOwnFile) {
  ArchiveImage image(64);
  const Chain root = image.reserve_chains(std::vector<dat::testing::ChainRequest>{{.size = 1716}}).front();
  const Bytes data = sequence(200);
  const Chain good = image.append_chain(data);
  const Chain looping = image.append_chain(sequence(200));
  image.patch_u32(looping.blocks[1], looping.offset);  // block 1 links back to block 0
  const Chain past_end = image.append_chain(sequence(200));
  image.patch_u32(past_end.blocks[0], 0x7FFFFF00);
  // The file's last bytes: a last block whose payload stops short of the entry's size.
  const std::uint32_t tail = image.append_raw(Bytes{0, 0, 0, 0, 1, 2, 3});
  image.write_node(root, NodeContent{.entries = {make_entry(1, good), make_entry(2, looping), make_entry(3, past_end),
                                              DatFileEntry{0, 4, 0, 0xFFFFFFFF, 0, 0},
                                              DatFileEntry{0, 5, tail, 100, 0, 0},
                                              DatFileEntry{0, 6, looping.offset, 0xFFFFFF00, 0, 0}}});
  image.header().root_offset = root.offset;
  auto db = open(image);
  ASSERT_TRUE(db.has_value());

  // A loop whose blocks carry payload just gathers its bytes around the loop.
  auto looped = db->get_file(2);
  ASSERT_TRUE(looped.has_value());
  EXPECT_EQ(looped->size(), 200u);
  EXPECT_EQ(Bytes(looped->begin() + 120, looped->begin() + 180), Bytes(looped->begin(), looped->begin() + 60));

  // An absurd size that runs off the end fails like any short read (4); one that only a
  // loop could satisfy is refused, as more than one file may have (6).
  const std::pair<std::uint32_t, DatError::Kind> failures[] = {{3, DatError::Kind::Io},
                                                                {4, DatError::Kind::Io},
                                                                {5, DatError::Kind::Io},
                                                                {6, DatError::Kind::Corruption}};
  for (const auto& [id, kind] : failures) {
    const auto got = db->get_file(id);
    ASSERT_FALSE(got.has_value()) << id;
    EXPECT_EQ(got.error().kind(), kind) << id;
    if (kind == DatError::Kind::Io) {
      EXPECT_EQ(got.error().text(), "IO error: failed to fill whole buffer") << id;
    }
  }
  EXPECT_EQ(db->get_file(1).value(), data);
}

TEST_F(DatDatabaseTest, PayloadFreeLoopIsCorruption) {
  ArchiveImage image(4);
  // Three bare links in a ring, entered from a fourth: the walk would never end.
  const std::uint32_t a = image.append_raw(Bytes(4));
  const std::uint32_t b = image.append_raw(Bytes(4));
  const std::uint32_t c = image.append_raw(Bytes(4));
  const std::uint32_t entry_block = image.append_raw(Bytes(4));
  image.patch_u32(entry_block, a);
  image.patch_u32(a, b);
  image.patch_u32(b, c);
  image.patch_u32(c, a);
  auto db = open_with_files(image, {DatFileEntry{0, 1, entry_block, 8, 0, 0}});
  ASSERT_TRUE(db.has_value());
  expect_corruption_quickly(*db, 1);
}

TEST_F(DatDatabaseTest, BlockSizeBelowFourIsCorruptionOnlyWhenAChainIsRead) {
  ArchiveImage image(64);
  const Chain chain = image.append_chain(sequence(10));
  image.header().block_size = 3;
  auto db = open_with_files(image, {make_entry(1, chain), DatFileEntry{0, 2, 0, 0, 0, 0}});
  // The root node itself is a chain, so opening already fails.
  ASSERT_FALSE(db.has_value());
  EXPECT_EQ(db.error().kind(), DatError::Kind::Corruption);
}

// The chain walk in its plainest form, over the archive's bytes: a link, then the payload
// piece; a zero link means that all that is left follows it contiguously. Any byte beyond
// the end of the file is an error. This is what the reader's reads ahead must add up to.
std::expected<Bytes, std::string> plain_walk(const Bytes& file, std::uint32_t offset, std::uint32_t size,
                                             std::uint32_t block_size) {
  Bytes out;
  const std::uint32_t payload = block_size - 4;
  const auto take = [&](std::uint64_t at, std::size_t count) {
    if (at > file.size() || count > file.size() - at) return false;
    out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
               file.begin() + static_cast<std::ptrdiff_t>(at + count));
    return true;
  };
  std::uint64_t block = offset;
  while (out.size() < size) {
    if (block > file.size() || file.size() - block < 4) return std::unexpected("end of file");
    const std::uint32_t link = load_u32le(file.data() + block);
    const std::size_t rest = size - out.size();
    if (!take(block + 4, link == 0 ? rest : std::min<std::size_t>(rest, payload))) {
      return std::unexpected("end of file");
    }
    if (link == 0) break;
    block = link;
  }
  return out;
}

// Random chains cut into runs of consecutive blocks, the runs of all chains shuffled
// together, some chains ending early at a zero link, some looping back, and some archives cut
// short: every file reads back as the plain walk reads it, error for error.
TEST_F(DatDatabaseTest, ReadsAheadOnlyWhereTheChainGoes) {
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    const auto below = [&](std::size_t bound) { return static_cast<std::size_t>(random() % bound); };
    constexpr std::uint32_t kBlockSizes[] = {5, 8, 64, 100};
    const std::uint32_t block_size = kBlockSizes[seed % 4];
    const std::uint32_t payload = block_size - 4;
    const bool cut_short = seed % 3 == 0;

    ArchiveImage image(block_size);
    const Chain root = image.reserve_chains(std::vector<dat::testing::ChainRequest>{{.size = 1716}}).front();
    // Chain c's blocks are numbered from first[c] on, in chain order, as reserve_chains counts them.
    std::vector<dat::testing::ChainRequest> requests;
    std::vector<std::vector<std::size_t>> runs;
    std::size_t next = 0;
    for (int c = 0; c < 30; ++c) {
      // Up to 600 blocks: several reads ahead for the long ones.
      const std::size_t size = below(4) == 0 ? below(payload * 600) : below(payload * 20 + 1);
      const std::size_t natural = std::max<std::size_t>(1, (size + payload - 1) / payload);
      ChainLayout layout{.last_link = below(2) == 0 ? 0u : static_cast<std::uint32_t>(random())};
      if (natural > 1 && below(4) == 0) layout.zero_link_block = below(natural);
      const std::size_t blocks = layout.zero_link_block ? *layout.zero_link_block + 1 : natural;
      requests.push_back({.size = size, .layout = layout});
      for (std::size_t from = 0; from < blocks;) {
        const std::size_t length = std::min(blocks - from, 1 + below(below(2) == 0 ? 4 : 300));
        std::vector<std::size_t> run(length);
        for (std::size_t i = 0; i < length; ++i) run[i] = next + from + i;
        runs.push_back(std::move(run));
        from += length;
      }
      next += blocks;
    }
    std::shuffle(runs.begin(), runs.end(), random);
    dat::testing::Placement placement;
    for (const auto& run : runs) placement.order.insert(placement.order.end(), run.begin(), run.end());
    const std::vector<Chain> chains = image.reserve_chains(requests, placement);

    NodeContent directory;
    for (std::uint32_t c = 0; c < chains.size(); ++c) {
      image.write_chain(chains[c], sequence(chains[c].size, static_cast<std::uint8_t>(c)));
      // A link back to an earlier block: with a payload the walk still ends, `size` bytes later.
      if (!cut_short && chains[c].blocks.size() > 2 && below(5) == 0) {
        const std::size_t from = 1 + below(chains[c].blocks.size() - 1);
        image.patch_u32(chains[c].blocks[from], chains[c].blocks[below(from)]);
      }
      directory.entries.push_back(make_entry(0x06000000 + c, chains[c]));
    }
    image.write_node(root, directory);
    image.header().root_offset = root.offset;

    Bytes file = image.bytes();
    if (cut_short) file.resize(root.blocks.back() + block_size + below(file.size() - root.blocks.back() - block_size));
    auto db = open(file);
    ASSERT_TRUE(db.has_value()) << db.error().text();
    for (std::uint32_t c = 0; c < chains.size(); ++c) {
      SCOPED_TRACE(c);
      const auto want = plain_walk(file, chains[c].offset, chains[c].size, block_size);
      const auto got = db->get_file(0x06000000 + c);
      if (want) {
        ASSERT_TRUE(got.has_value()) << got.error().text();
        EXPECT_EQ(*got, *want);
      } else {
        ASSERT_FALSE(got.has_value());
        EXPECT_EQ(got.error().text(), "IO error: failed to fill whole buffer");
      }
    }
  }
}

// A chain that comes back to a block it has read goes round the same blocks for as long as
// bytes are wanted, also past the archive's own length: the file reads as the plain walk
// reads it, however the loop is entered and wherever the size ends.
TEST_F(DatDatabaseTest, LoopingChainGathersItsSizeAroundTheLoop) {
  struct Case {
    std::uint32_t block_size;
    std::size_t blocks;     // of the chain as written, consecutive in the file
    std::size_t loop_from;  // the last block links back to this one
    std::uint32_t size;     // asked for; beyond the archive's length in most cases
  };
  const Case cases[] = {
      {64, 1, 0, 5000},  {64, 5, 0, 5000},      {64, 5, 3, 4999},   {64, 300, 0, 100000},
      {64, 300, 299, 70000}, {5, 7, 2, 3001}, {8, 3, 1, 10},      {1024, 4, 1, 1u << 20},
      {1024, 2, 0, 2041}, {100, 40, 17, 123457},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("block size {}, {} blocks, loop to {}, size {}", c.block_size, c.blocks, c.loop_from,
                             c.size));
    ArchiveImage image(c.block_size);
    const Chain chain = image.append_chain(sequence((c.block_size - 4) * c.blocks, 3));
    image.patch_u32(chain.blocks.back(), chain.blocks[c.loop_from]);
    auto db = open_with_files(image, {DatFileEntry{0, 1, chain.offset, c.size, 0, 0}});
    ASSERT_TRUE(db.has_value()) << db.error().text();
    const auto got = db->get_file(1);
    ASSERT_TRUE(got.has_value()) << got.error().text();
    const auto want = plain_walk(image.bytes(), chain.offset, c.size, c.block_size);
    ASSERT_TRUE(want.has_value());
    EXPECT_EQ(*got, *want);
  }

  // A size that only the loop could give, beyond what any one file may have, is refused at
  // once rather than gathered.
  ArchiveImage image(64);
  const Chain chain = image.append_chain(sequence(60 * 3));
  image.patch_u32(chain.blocks.back(), chain.offset);
  auto db = open_with_files(image, {DatFileEntry{0, 1, chain.offset, 0xFFFFFFF0, 0, 0}});
  ASSERT_TRUE(db.has_value());
  expect_corruption_quickly(*db, 1);
}

TEST_F(DatDatabaseTest, ArchiveThatShrinksAfterOpeningFailsCleanly) {
  ArchiveImage image(64);
  const Bytes data = sequence(60 * 500);
  const Chain chain = image.append_chain(data);  // 500 consecutive blocks
  auto db = open_with_files(image, {make_entry(1, chain)});
  ASSERT_TRUE(db.has_value());
  ASSERT_EQ(db->get_file(1).value(), data);

  fs::resize_file(path_, chain.blocks[300] + 10);
  const auto got = db->get_file(1);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().text(), "IO error: failed to fill whole buffer");
}

}  // namespace
}  // namespace dat
