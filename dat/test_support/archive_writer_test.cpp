#include "archive_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "lib/dat_database.h"
#include "lrs_compressor.h"

namespace dat::testing {
namespace {

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return state_ >> 32;
  }
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  Bytes bytes(std::size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(next());
    return out;
  }

 private:
  std::uint64_t state_;
};

std::filesystem::path temp_archive_path() {
  static int counter = 0;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = fmt::format("{}_{}_{}_{}.dat", info->test_suite_name(), info->name(), getpid(), counter++);
  std::replace(name.begin(), name.end(), '/', '_');
  return std::filesystem::path(::testing::TempDir()) / name;
}

// Writes `image` to a fresh temporary file and opens it with the reader. The file is removed
// at once: the open database keeps reading it through its descriptor.
std::expected<DatDatabase, DatError> open_image(ByteView image) {
  const auto path = temp_archive_path();
  const auto written = write_bytes(path, image);
  EXPECT_TRUE(written) << written.error();
  auto db = DatDatabase::open(path);
  std::filesystem::remove(path);
  return db;
}

std::set<std::uint32_t> listed_ids(const DatDatabase& db) {
  std::set<std::uint32_t> ids;
  for (const auto& [id, entry] : db.files()) ids.insert(id);
  return ids;
}

std::uint32_t natural_blocks(std::size_t size, std::uint32_t payload) {
  return payload == 0 ? 1 : static_cast<std::uint32_t>(std::max<std::size_t>(1, (size + payload - 1) / payload));
}

// A file set as tests add it to a builder, with what the reader must give back.
struct TestFile {
  Bytes data;
  FileOptions options;
};

// Random ids (surfaces, textures, palettes, others), random sizes with a long tail, half of
// the data compressible, a third stored compressed, and now and then a zero link part-way,
// a garbage last link, extra flag bits and version fields.
std::map<std::uint32_t, TestFile> random_files(std::size_t count, std::uint32_t block_size, std::uint64_t seed) {
  static constexpr std::uint32_t kTopBytes[] = {0x08, 0x05, 0x04, 0x0F};
  const std::uint32_t payload = block_size - 4;
  Random random(seed);
  std::map<std::uint32_t, TestFile> files;
  while (files.size() < count) {
    const std::uint32_t id = (kTopBytes[random.below(4)] << 24) | static_cast<std::uint32_t>(random.below(0x1000));
    const std::size_t size = random.below(8) == 0 ? random.below(20'000) : random.below(600);
    TestFile file;
    if (random.below(2) == 0) {
      file.data = random.bytes(size);
    } else {
      file.data.resize(size);
      for (std::size_t i = 0; i < size; ++i) file.data[i] = static_cast<std::uint8_t>((i / 13) % 5);
    }
    file.options.compressed = random.below(3) == 0;
    if (random.below(4) == 0) file.options.extra_flags = static_cast<std::uint32_t>(random.next()) & ~1u;
    file.options.timestamp = static_cast<std::uint32_t>(random.next());
    file.options.version = static_cast<std::uint32_t>(random.below(5));
    file.options.layout.filler = static_cast<std::uint8_t>(random.next());
    switch (random.below(6)) {
      case 0: {
        const std::size_t stored = file.options.compressed ? compress_lrs(file.data).size() : size;
        file.options.layout.zero_link_block = payload == 0 ? random.below(4) : natural_blocks(stored, payload) / 2;
        break;
      }
      case 1:
        if (payload != 0) file.options.layout.last_link = 0xDEADBEEF;
        break;
      default:
        break;
    }
    files.emplace(id, std::move(file));
  }
  return files;
}

struct RoundTripCase {
  const char* name;
  std::uint32_t block_size;
  std::size_t max_entries_per_node;
  bool scattered;
  std::size_t file_count;
};

const RoundTripCase kRoundTripCases[] = {
    {"NoFiles", 64, 61, false, 0},
    {"BlockSize4Contiguous", 4, 61, false, 300},
    {"BlockSize4Scattered", 4, 3, true, 300},
    // One payload byte per block costs the reader a read per byte; fewer files keep it quick.
    {"BlockSize5Scattered", 5, 2, true, 150},
    {"BlockSize64Contiguous", 64, 1, false, 200},
    {"BlockSize64Scattered", 64, 7, true, 300},
    {"BlockSize1024Contiguous", 1024, 4, false, 300},
    {"BlockSize1024Scattered", 1024, 61, true, 400},
};

class ArchiveBuilderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ArchiveBuilderRoundTrip, ReaderReturnsEveryFileAndOnlyThose) {
  const RoundTripCase& c = GetParam();
  const auto files = random_files(c.file_count, c.block_size, c.block_size * 1000 + c.file_count);
  ArchiveBuilder builder({.block_size = c.block_size,
                          .max_entries_per_node = c.max_entries_per_node,
                          .placement = {.scattered = c.scattered, .seed = c.file_count}});
  builder.header().magic = 0x5442;
  builder.header().engine_version = 0x1F;
  for (const auto& [id, file] : files) builder.add_file(id, file.data, file.options);
  const BuiltArchive built = builder.build_image();
  if (c.file_count > c.max_entries_per_node) {
    EXPECT_GT(built.nodes.size(), 1u);
  }

  const Bytes image = built.image.bytes();
  auto db = open_image(image);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(db->header().block_size, c.block_size);
  EXPECT_EQ(db->header().root_offset, built.nodes.empty() ? 0 : built.nodes.front().offset);
  EXPECT_EQ(db->header().file_size, image.size());
  EXPECT_EQ(db->header().magic, 0x5442u);
  EXPECT_EQ(db->header().engine_version, 0x1Fu);

  std::set<std::uint32_t> added;
  for (const auto& [id, file] : files) added.insert(id);
  EXPECT_EQ(listed_ids(*db), added);

  for (const auto& [id, file] : files) {
    SCOPED_TRACE(fmt::format("file {:08X}", id));
    const DatFileEntry& entry = db->files().at(id);
    EXPECT_EQ(entry.bit_flags, file.options.extra_flags | (file.options.compressed ? 1u : 0u));
    EXPECT_EQ(entry.timestamp, file.options.timestamp);
    EXPECT_EQ(entry.version, file.options.version);
    EXPECT_EQ(entry.size, built.files.at(id).size);
    auto got = db->get_file(id);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_TRUE(*got == file.data) << "got " << got->size() << " bytes, want " << file.data.size();
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, ArchiveBuilderRoundTrip, ::testing::ValuesIn(kRoundTripCases),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

// The data bytes of a placed chain, gathered through its own map.
Bytes chain_data(const Bytes& image, const Chain& chain) {
  Bytes out;
  for (std::size_t i = 0; i < chain.size; ++i) out.push_back(image.at(chain.locate(i)));
  return out;
}

// Walks the built directory in order, checking each node's shape on the way.
class TreeCheck {
 public:
  TreeCheck(const BuiltArchive& built, std::size_t fanout) : image_(built.image.bytes()), fanout_(fanout) {
    for (std::size_t n = 0; n < built.nodes.size(); ++n) nodes_.emplace(built.nodes[n].offset, built.nodes[n]);
  }

  void walk(std::uint32_t offset) {
    ASSERT_TRUE(nodes_.contains(offset)) << "branch to 0x" << std::hex << offset << ", which is no node";
    ++visited_;
    const Bytes node = chain_data(image_, nodes_.at(offset));
    const std::uint32_t count = load_u32le(node.data() + kEntryCountAt);
    ASSERT_LE(count, fanout_);
    const bool leaf = load_u32le(node.data()) == 0;
    for (std::size_t b = 0; b < kNodeBranches; ++b) {
      const bool child = load_u32le(node.data() + node_branch_at(b)) != 0;
      // An inner node with c entries has exactly c + 1 children; a leaf has none.
      EXPECT_EQ(child, !leaf && b <= count) << "branch " << b << " of a node with " << count << " entries";
    }
    for (std::uint32_t k = 0; k <= count; ++k) {
      if (!leaf) walk(load_u32le(node.data() + node_branch_at(k)));
      if (k < count) in_order_.push_back(load_u32le(node.data() + node_slot_at(k, EntryField::Id)));
    }
  }

  [[nodiscard]] const std::vector<std::uint32_t>& in_order() const { return in_order_; }
  [[nodiscard]] std::size_t visited() const { return visited_; }

 private:
  Bytes image_;
  std::size_t fanout_;
  std::map<std::uint32_t, Chain> nodes_;
  std::vector<std::uint32_t> in_order_;
  std::size_t visited_ = 0;
};

TEST(ArchiveBuilderDirectory, IsASortedBTreeWithinTheEntryLimit) {
  for (const std::size_t fanout : {1, 2, 3, 61}) {
    for (const std::size_t count : {std::size_t{1}, fanout, fanout + 1, 2 * fanout + 1, std::size_t{250}}) {
      SCOPED_TRACE(fmt::format("{} files, at most {} per node", count, fanout));
      ArchiveBuilder builder({.block_size = 256, .max_entries_per_node = fanout});
      std::vector<std::uint32_t> ids;
      // Added in a scrambled order; the tree must come out sorted all the same.
      for (std::size_t i = 0; i < count; ++i) ids.push_back(static_cast<std::uint32_t>((i * 7919) % 1000 + 1));
      for (const std::uint32_t id : ids) builder.add_file(id, text("x"));
      const BuiltArchive built = builder.build_image();

      TreeCheck check(built, fanout);
      check.walk(built.image.header().root_offset);
      std::sort(ids.begin(), ids.end());
      EXPECT_EQ(check.in_order(), ids);
      EXPECT_EQ(check.visited(), built.nodes.size());
    }
  }
}

struct ChainCase {
  std::size_t size;
  ChainLayout layout;
  Placement placement;
};

// Every chain shape at one block size, all in one image, read back with read_file_data.
class ArchiveImageChains : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ArchiveImageChains, ReadBackThroughTheReader) {
  const std::uint32_t block_size = GetParam();
  const std::uint32_t payload = block_size - 4;
  std::vector<ChainCase> cases;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{payload ? payload - 1 : 2},
                                 std::size_t{payload}, std::size_t{payload + 1}, std::size_t{3 * payload + 2},
                                 kNodeSize}) {
    for (const Placement& placement : {Placement{}, Placement::scatter(size + 1)}) {
      cases.push_back({size, {}, placement});
      cases.push_back({size, {.zero_link_block = 0}, placement});
      if (payload == 0 || natural_blocks(size, payload) > 2) cases.push_back({size, {.zero_link_block = 2}, placement});
      if (payload != 0) cases.push_back({size, {.last_link = 0xFFFFFF00, .filler = 0x5A}, placement});
    }
  }

  ArchiveImage image(block_size);
  std::vector<Chain> chains;
  std::vector<Bytes> data;
  Random random(block_size);
  for (const ChainCase& c : cases) {
    data.push_back(random.bytes(c.size));
    chains.push_back(image.append_chain(data.back(), c.layout, c.placement));
  }
  auto db = open_image(image.bytes());
  ASSERT_TRUE(db) << db.error().text();

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const ChainCase& c = cases[i];
    const Chain& chain = chains[i];
    SCOPED_TRACE(fmt::format("size {}, {}, zero link block {}", c.size,
                             c.placement.scattered ? "scattered" : "contiguous",
                             c.layout.zero_link_block ? fmt::format("{}", *c.layout.zero_link_block) : "none"));
    auto got = db->read_file_data(chain.offset, chain.size);
    ASSERT_TRUE(got) << got.error().text();
    EXPECT_EQ(*got, data[i]);

    const std::size_t blocks =
        c.layout.zero_link_block ? *c.layout.zero_link_block + 1 : natural_blocks(c.size, payload);
    ASSERT_EQ(chain.blocks.size(), blocks);
    bool in_place = true;
    for (std::size_t k = 0; k + 1 < blocks; ++k) {
      in_place = in_place && chain.blocks[k + 1] == chain.blocks[k] + block_size;
    }
    EXPECT_EQ(in_place, !c.placement.scattered || blocks == 1);
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, ArchiveImageChains, ::testing::Values(4u, 5u, 8u, 64u, 1024u),
                         [](const ::testing::TestParamInfo<std::uint32_t>& info) {
                           return fmt::format("BlockSize{}", info.param);
                         });

// Bytes worked out by hand from the layout: 320 preamble bytes, the header's seventeen
// fields little-endian, then blocks of a 4-byte link (the next block's offset, 0 at the
// end) and block size - 4 payload bytes.
TEST(ArchiveImageBytes, MatchTheLayoutByHand) {
  ArchiveImage image(8);
  std::fill(image.preamble().begin(), image.preamble().end(), 0xEE);
  DatHeader& h = image.header();
  h.magic = 0x11223344;
  h.file_size = 0x1000;
  h.dataset = 1;
  h.subset = 2;
  h.free_head = 3;
  h.free_tail = 4;
  h.free_count = 5;
  h.root_offset = 6;
  h.new_lru = 7;
  h.old_lru = 8;
  h.use_lru = 9;
  h.master_map_id = 10;
  h.engine_version = 11;
  h.game_version = 12;
  h.version_string = text("0123456789abcdef");
  h.version_minor = 0xA0B0C0D0;
  const Chain chain = image.append_chain(text("abcdefghij"), {.filler = 0xCC});

  Bytes expected(320, 0xEE);
  const Bytes header = {0x44, 0x33, 0x22, 0x11, 8, 0, 0, 0, 0, 0x10, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0,
                        4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8, 0, 0, 0, 9, 0, 0, 0, 10, 0, 0, 0,
                        11, 0, 0, 0, 12, 0, 0, 0, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b',
                        'c', 'd', 'e', 'f', 0xD0, 0xC0, 0xB0, 0xA0};
  const Bytes blocks = {0x98, 0x01, 0, 0, 'a', 'b', 'c', 'd',     // 400: link to 408
                        0xA0, 0x01, 0, 0, 'e', 'f', 'g', 'h',     // 408: link to 416
                        0, 0, 0, 0, 'i', 'j', 0xCC, 0xCC};        // 416: last block, filler tail
  expected.insert(expected.end(), header.begin(), header.end());
  expected.insert(expected.end(), blocks.begin(), blocks.end());
  EXPECT_EQ(image.bytes(), expected);
  EXPECT_EQ(chain.offset, 400u);
  EXPECT_EQ(chain.blocks, (std::vector<std::uint32_t>{400, 408, 416}));
}

// Node content the reader must ignore: slots past the entry count, branch pointers of a
// leaf and those past entry count + 1. A later entry for the same id replaces an earlier.
TEST(ArchiveImageDirectory, HandMadeTreeReadsAsWritten) {
  ArchiveImage image(64);
  const Chain alpha = image.append_chain(text("alpha"));
  const Chain beta = image.append_chain(text("beta"));
  const Chain gamma = image.append_chain(text("gamma"));
  const Chain delta = image.append_chain(text("delta"));

  NodeContent left{.entries = {make_entry(1, alpha), make_entry(2, beta), make_entry(99, gamma)},
                .entry_count = 2,
                .unused_fill = 0xAB};
  left.branches[1] = 0xDEADBEEF;
  NodeContent right{.entries = {make_entry(3, gamma), make_entry(5, delta, 0, 777)}};
  NodeContent root{.entries = {make_entry(5, alpha)}};
  root.branches[0] = image.append_node(left, {}, Placement::scatter(3)).offset;
  root.branches[1] = image.append_node(right).offset;
  root.branches[2] = 0xFFFFFFF0;
  image.header().root_offset = image.append_node(root).offset;

  auto db = open_image(image.bytes());
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(listed_ids(*db), (std::set<std::uint32_t>{1, 2, 3, 5}));
  EXPECT_EQ(db->files().at(5).timestamp, 777u);
  EXPECT_EQ(db->get_file(5), text("delta"));
  EXPECT_EQ(db->get_file(2), text("beta"));
}

TEST(ArchiveImageDirectory, EntryCountOverrides) {
  struct Case {
    std::uint32_t count;
    bool opens;
  };
  for (const Case c : {Case{0, true}, Case{61, true}, Case{62, false}, Case{0xFFFFFFFF, false}}) {
    SCOPED_TRACE(c.count);
    ArchiveImage image(1024);
    const Chain file = image.append_chain(text("data"));
    NodeContent node{.entry_count = c.count};
    for (std::uint32_t id = 0; id < kNodeSlots; ++id) node.entries.push_back(make_entry(id, file));
    image.header().root_offset = image.append_node(node).offset;

    auto db = open_image(image.bytes());
    ASSERT_EQ(db.has_value(), c.opens);
    if (c.opens) {
      EXPECT_EQ(db->files().size(), c.count);
    } else {
      EXPECT_EQ(db.error().kind(), DatError::Kind::BinRead);
    }
  }
}

// Patches land on the finished image: over the header, through a chain's map across block
// boundaries, and after everything written before or after them.
TEST(ArchiveImageDamage, PatchesApplyToTheFinishedImage) {
  ArchiveImage image(5);  // one payload byte per block, so every u32 straddles blocks
  const Chain file = image.append_chain(text("data"), {}, Placement::scatter(9));
  const NodeContent node{.entries = {make_entry(7, file), make_entry(8, file), make_entry(9, file)}};
  const Chain root = image.append_node(node, {}, Placement::scatter(10));
  image.header().root_offset = root.offset;
  image.header().magic = 1;
  image.patch_u32(kPreambleSize, 0xCAFEF00D);
  image.patch_chain_u32(root, kEntryCountAt, 1);
  image.header().magic = 2;

  auto db = open_image(image.bytes());
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(db->header().magic, 0xCAFEF00Du);
  EXPECT_EQ(listed_ids(*db), (std::set<std::uint32_t>{7}));
}

TEST(ArchiveImageDamage, LoopsMadeByPatchingDoNotHangTheReader) {
  // A chain without payload whose third block links back to the first.
  ArchiveImage bare(4);
  const Chain looped = bare.append_chain(text("never reached"), {.zero_link_block = 3});
  bare.patch_u32(looped.blocks[2], looped.blocks[0]);
  auto bare_db = open_image(bare.bytes());
  ASSERT_TRUE(bare_db) << bare_db.error().text();
  EXPECT_FALSE(bare_db->read_file_data(looped.offset, looped.size));

  // With payload the loop ends once the size is gathered: block 0, block 1, block 0 again.
  // The blocks lie backwards in the file, so every link points at a lower offset.
  ArchiveImage paying(8);
  const Chain chain = paying.append_chain(text("aaaabbbbcccc"), {}, {.order = {2, 1, 0}});
  ASSERT_GT(chain.blocks[0], chain.blocks[1]);
  ASSERT_GT(chain.blocks[1], chain.blocks[2]);
  paying.patch_u32(chain.blocks[1], chain.blocks[0]);
  auto paying_db = open_image(paying.bytes());
  ASSERT_TRUE(paying_db) << paying_db.error().text();
  EXPECT_EQ(paying_db->read_file_data(chain.offset, chain.size), text("aaaabbbbaaaa"));

  // Two nodes reserved first, then written pointing at each other.
  ArchiveImage tree(64);
  const ChainRequest node_request{.size = kNodeSize};
  const std::vector<Chain> nodes = tree.reserve_chains(std::vector<ChainRequest>(2, node_request));
  NodeContent parent;
  parent.branches[0] = nodes[1].offset;
  NodeContent child;
  child.branches[0] = nodes[0].offset;
  tree.write_node(nodes[0], parent);
  tree.write_node(nodes[1], child);
  tree.header().root_offset = nodes[0].offset;
  EXPECT_FALSE(open_image(tree.bytes()));
}

TEST(ArchiveImageDamage, BrokenEntriesAndTruncationFailOnlyWhatTheyTouch) {
  ArchiveBuilder builder({.block_size = 64});
  for (std::uint32_t id = 1; id <= 5; ++id) builder.add_file(id, Bytes(100 * id, static_cast<std::uint8_t>(id)));
  BuiltArchive built = builder.build_image();
  built.patch_entry(2, EntryField::Size, 0xFFFFFFFF);
  built.patch_entry(3, EntryField::Offset, built.image.size() + 100);
  const Bytes image = built.image.bytes();

  auto db = open_image(image);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_FALSE(db->get_file(2));
  auto beyond = db->get_file(3);
  ASSERT_FALSE(beyond);
  EXPECT_EQ(beyond.error().kind(), DatError::Kind::Io);
  EXPECT_EQ(db->get_file(4), Bytes(400, 4));

  // The last file's chain is the image's tail; cutting into its last link breaks only it.
  const Bytes cut(image.begin(), image.begin() + built.files.at(5).blocks.back() + 2);
  auto cut_db = open_image(cut);
  ASSERT_TRUE(cut_db) << cut_db.error().text();
  EXPECT_FALSE(cut_db->get_file(5));
  EXPECT_EQ(cut_db->get_file(1), Bytes(100, 1));

  auto headless = open_image(ByteView(image).first(330));
  ASSERT_FALSE(headless);
  EXPECT_EQ(headless.error().kind(), DatError::Kind::BinRead);
}

TEST(ArchiveBuilderLayout, IsDeterministicAndScatteredBlocksInterleave) {
  const auto make = [](std::uint64_t seed) {
    ArchiveBuilder builder({.block_size = 32, .max_entries_per_node = 4, .placement = Placement::scatter(seed)});
    for (std::uint32_t id = 1; id <= 40; ++id) builder.add_file(id, Bytes(id * 10, static_cast<std::uint8_t>(id)));
    return builder;
  };
  EXPECT_EQ(make(1).build(), make(1).build());
  EXPECT_NE(make(1).build(), make(2).build());

  // Blocks in image order, each tagged with its chain: a file whose blocks do not form one
  // run has others' blocks between its own.
  const BuiltArchive built = make(1).build_image();
  std::vector<std::pair<std::uint32_t, std::uint32_t>> owners;  // (block offset, file id)
  for (const auto& [id, chain] : built.files) {
    for (const std::uint32_t block : chain.blocks) owners.emplace_back(block, id);
  }
  std::sort(owners.begin(), owners.end());
  std::size_t runs = 1;
  for (std::size_t i = 1; i < owners.size(); ++i) runs += owners[i].second != owners[i - 1].second;
  EXPECT_GT(runs, 2 * built.files.size());

  const auto path = temp_archive_path();
  const auto written = make(1).write_file(path);
  ASSERT_TRUE(written) << written.error();
  auto db = DatDatabase::open(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(db) << db.error().text();
  EXPECT_EQ(db->get_file(40), Bytes(400, 40));
}

TEST(ArchiveWriter, RejectsMisuse) {
  EXPECT_THROW(ArchiveImage(3), std::invalid_argument);
  EXPECT_THROW(ArchiveBuilder({.block_size = 3}), std::invalid_argument);
  EXPECT_THROW(ArchiveBuilder({.max_entries_per_node = 0}), std::invalid_argument);
  EXPECT_THROW(ArchiveBuilder({.max_entries_per_node = 62}), std::invalid_argument);
  ArchiveBuilder builder;
  builder.add_file(1, text("a"));
  EXPECT_THROW(builder.add_file(1, text("b")), std::invalid_argument);

  ArchiveImage image(8);
  EXPECT_THROW(encode_node(NodeContent{.entries = std::vector<DatFileEntry>(62)}), std::invalid_argument);
  EXPECT_THROW(image.append_chain(text("abcdefgh"), {.zero_link_block = 2}), std::invalid_argument);
  const Chain chain = image.append_chain(text("abc"));
  EXPECT_THROW(image.write_chain(chain, text("abcd")), std::out_of_range);
  EXPECT_THROW((void)chain.locate(3), std::out_of_range);
  EXPECT_THROW(image.patch_u32(image.size() - 3, 0), std::out_of_range);
  EXPECT_THROW(image.append_chain(text("abcdefgh"), {}, {.order = {0, 0}}), std::invalid_argument);
}

}  // namespace
}  // namespace dat::testing
