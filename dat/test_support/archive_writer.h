#pragma once

// Writes portal archives for tests, fuzz seeds, benchmarks and the demo archive. It lays the
// format out on its own (it shares only the plain DatHeader and DatFileEntry value types with
// the reader), so reading its archives back is a real test of the reader.
//
// Two layers:
//  - ArchiveImage places raw pieces: block chains of any shape, directory nodes of any
//    content, the header, and damage patched in afterwards.
//  - ArchiveBuilder makes a well-formed archive from a set of files: a sorted multi-level
//    directory, optional compression, contiguous or scattered blocks.
// Both are deterministic: the same calls give the same bytes. Misuse (a block size below 4,
// an image past 4 GiB, a patch outside the image, ...) throws a std::logic_error or
// std::length_error; these are programming errors in the caller, not archive states.

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lib/dat_file_entry.h"
#include "lib/dat_header.h"
#include "utils/bytes.h"

namespace dat::testing {

// The layout as written here, independent of the reader's constants.
inline constexpr std::size_t kPreambleSize = 320;  // unread bytes before the header
inline constexpr std::size_t kHeaderSize = 80;
inline constexpr std::size_t kLinkSize = 4;  // each block starts with the offset of the next
inline constexpr std::size_t kNodeSize = 1716;
inline constexpr std::size_t kNodeBranches = 62;
inline constexpr std::size_t kNodeSlots = 61;
inline constexpr std::size_t kEntryCountAt = 248;
inline constexpr std::size_t kEntriesAt = 252;
inline constexpr std::size_t kEntrySize = 24;

// Where each field of a directory entry sits within its 24-byte slot.
enum class EntryField : std::size_t { BitFlags = 0, Id = 4, Offset = 8, Size = 12, Timestamp = 16, Version = 20 };

// Positions within a node's 1716 data bytes, for patch_chain_u32 on a node's chain.
[[nodiscard]] constexpr std::size_t node_branch_at(std::size_t branch) { return 4 * branch; }
[[nodiscard]] constexpr std::size_t node_slot_at(std::size_t slot, EntryField field = EntryField::BitFlags) {
  return kEntriesAt + kEntrySize * slot + static_cast<std::size_t>(field);
}

// The content of one directory node.
struct NodeContent {
  // Written to slots 0, 1, ... in order; at most 61.
  std::vector<DatFileEntry> entries{};
  // The stored entry count; entries.size() when unset. A smaller count leaves the trailing
  // entries as valid-looking garbage in unused slots; 62 or 0xFFFFFFFF damage the node.
  std::optional<std::uint32_t> entry_count{};
  // The raw branch pointers. All zero makes a leaf; the reader also ignores every pointer of
  // a node whose pointer 0 is zero, and those past entry count + 1, so garbage may go there.
  std::array<std::uint32_t, kNodeBranches> branches{};
  // Every byte of the slots that no entry fills.
  std::uint8_t unused_fill = 0;
};

// The shape of one block chain.
struct ChainLayout {
  // Unset: the natural chain, one block per payload's worth of data (at least one block).
  // Set to k: block k gets link 0 and holds all data that is left, contiguously after its
  // link, however long. k must lie within the natural chain; with block size 4 (no payload)
  // any k is allowed, and blocks 0 to k - 1 are bare links.
  std::optional<std::size_t> zero_link_block{};
  // The link stored in the last block. The reader stops once it has the size it wants, so a
  // non-zero value here tests that a link after the last byte is not followed.
  std::uint32_t last_link = 0;
  // Payload bytes past the end of the data.
  std::uint8_t filler = 0;
};

// Where the blocks of newly added chains go. Contiguous: chain after chain, each in block
// order. Scattered: the blocks of all chains added together are shuffled by `seed` (never
// left in their own order when there are two or more) and each is preceded by 0 to
// `max_gap_blocks` unused blocks of seeded random bytes, as an archive looks after many
// updates.
struct Placement {
  bool scattered = false;
  std::uint64_t seed = 0;
  std::size_t max_gap_blocks = 1;
  // An exact order instead of the shuffle: a permutation of the blocks added together,
  // numbered chain by chain in block order ({2, 1, 0} lays a 3-block chain out backwards).
  // Gaps still follow `scattered`. Throws std::invalid_argument if it is no permutation.
  std::vector<std::size_t> order{};

  [[nodiscard]] static Placement scatter(std::uint64_t seed) { return {.scattered = true, .seed = seed}; }
};

// A chain as placed in the image, with the map from data index to image offset.
struct Chain {
  std::uint32_t offset = 0;  // first block: what a directory entry or branch pointer names
  std::uint32_t size = 0;    // data bytes the chain carries
  std::uint32_t payload = 0;  // data bytes per block, block size - 4
  // Every block's offset, in chain order; block k's link is the u32 at blocks[k]. The last
  // block holds all data from (blocks.size() - 1) * payload on.
  std::vector<std::uint32_t> blocks{};

  // Image offset of data byte `index`; throws std::out_of_range from `size` on.
  [[nodiscard]] std::uint32_t locate(std::size_t index) const;
};

// The directory entry that names `chain`: its offset and size, the other fields as given.
[[nodiscard]] DatFileEntry make_entry(std::uint32_t id, const Chain& chain, std::uint32_t bit_flags = 0,
                                      std::uint32_t timestamp = 0, std::uint32_t version = 0);

// One chain to reserve: its data size and shape.
struct ChainRequest {
  std::size_t size = 0;
  ChainLayout layout{};
};

// The 80 header bytes: every field little-endian, version_string cut or zero-padded to 16.
[[nodiscard]] Bytes encode_header(const DatHeader& header);
// A node's 1716 data bytes. Throws std::invalid_argument for more than 61 entries.
[[nodiscard]] Bytes encode_node(const NodeContent& node);

// Writes `bytes` to `path`, replacing the file.
[[nodiscard]] std::expected<void, std::string> write_bytes(const std::filesystem::path& path, ByteView bytes);

// A growing archive image: 320 preamble bytes, the 80-byte header, then whatever is
// appended, at offsets that never change.
class ArchiveImage {
 public:
  // `block_size` lays out every chain; the header's block_size starts equal to it and may be
  // set to anything (below 4, say) without changing the layout. Throws below 4.
  explicit ArchiveImage(std::uint32_t block_size = 1024);

  [[nodiscard]] std::uint32_t block_size() const noexcept { return block_size_; }
  // Serialised by bytes(). root_offset starts at 0 (an empty directory); version_string
  // holds 16 zero bytes.
  [[nodiscard]] DatHeader& header() noexcept { return header_; }
  [[nodiscard]] const DatHeader& header() const noexcept { return header_; }
  // The 320 bytes before the header, zero until changed.
  [[nodiscard]] std::span<std::uint8_t> preamble() noexcept { return std::span(body_).first(kPreambleSize); }
  [[nodiscard]] std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(body_.size()); }

  // Appends `bytes` as they are; returns their offset.
  std::uint32_t append_raw(ByteView bytes);
  // Appends a chain carrying `data`.
  Chain append_chain(ByteView data, const ChainLayout& layout = {}, const Placement& placement = {});
  // Appends a chain carrying encode_node(node).
  Chain append_node(const NodeContent& node, const ChainLayout& layout = {}, const Placement& placement = {});

  // Places the blocks of several chains at once, so a scattered placement interleaves them,
  // and writes their links; the data stays filler until write_chain. This is how to build
  // nodes that point at each other in any direction: reserve first, write when every offset
  // is known.
  std::vector<Chain> reserve_chains(std::span<const ChainRequest> requests, const Placement& placement = {});
  // Writes `data` into a placed chain from data index `at`; throws past chain.size.
  void write_chain(const Chain& chain, ByteView data, std::size_t at = 0);
  void write_node(const Chain& chain, const NodeContent& node);

  // Damage. Patches are applied to the finished image in bytes(), in call order and after
  // the header is serialised, so they win over header() and over later write_chain calls.
  // They must lie inside the image as it is when they are made.
  void patch_bytes(std::uint64_t offset, ByteView bytes);
  void patch_u32(std::uint64_t offset, std::uint32_t value);
  // Patches the u32 at data index `index` of `chain`, byte by byte through the chain's map,
  // so it may straddle blocks.
  void patch_chain_u32(const Chain& chain, std::size_t index, std::uint32_t value);

  // The finished image. Truncate the result for damage at the end of the file.
  [[nodiscard]] Bytes bytes() const;
  [[nodiscard]] std::expected<void, std::string> write_file(const std::filesystem::path& path) const;

 private:
  struct Patch {
    std::uint64_t offset;
    Bytes bytes;
  };

  std::uint32_t block_size_;
  DatHeader header_;
  Bytes body_;  // the header's 80 bytes are placeholders here until bytes()
  std::vector<Patch> patches_;
};

// How the builder stores one file.
struct FileOptions {
  // Stores compress_lrs(data) and sets bit 0 of bit_flags; the entry's size is then the
  // compressed size.
  bool compressed = false;
  // Further bits of bit_flags. Bit 0 here without `compressed` marks raw bytes compressed.
  std::uint32_t extra_flags = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;
  // The file's chain shape (a zero link part-way, a garbage last link, filler).
  ChainLayout layout{};
};

struct BuilderOptions {
  std::uint32_t block_size = 1024;  // 4 or more; 4 leaves no payload
  // 1 to 61. Fewer entries per node make a deeper tree: an inner node with c entries has
  // c + 1 children, and the ids are sorted as in a B-tree.
  std::size_t max_entries_per_node = kNodeSlots;
  Placement placement{};
  std::uint8_t node_filler = 0;  // tail bytes of the nodes' last blocks
};

// A built archive with the map of where everything went, for damage on top of it.
struct BuiltArchive {
  struct EntrySlot {
    std::size_t node;  // index into `nodes`
    std::size_t slot;
  };

  ArchiveImage image;
  std::vector<Chain> nodes;              // pre-order; nodes.front() is the root
  std::map<std::uint32_t, Chain> files;  // each file's stored chain
  std::map<std::uint32_t, EntrySlot> entries;

  // Patches one field of the directory entry of `id`.
  void patch_entry(std::uint32_t id, EntryField field, std::uint32_t value);
};

// A well-formed archive from a set of files.
//
//   ArchiveBuilder builder({.block_size = 64, .max_entries_per_node = 3, .placement = Placement::scatter(7)});
//   builder.add_file(0x08000001, surface_bytes).add_file(0x05000002, texture_bytes, {.compressed = true});
//   auto written = builder.write_file(path);
class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(BuilderOptions options = {});

  // The header's fields. build() fills block_size, root_offset (0 without files) and
  // file_size (the image's length) and copies the rest; change those three on
  // build_image().image for damage.
  [[nodiscard]] DatHeader& header() noexcept { return header_; }

  // Throws std::invalid_argument for an id already added.
  ArchiveBuilder& add_file(std::uint32_t id, Bytes data, FileOptions options = {});

  [[nodiscard]] BuiltArchive build_image() const;
  [[nodiscard]] Bytes build() const;
  [[nodiscard]] std::expected<void, std::string> write_file(const std::filesystem::path& path) const;

 private:
  struct File {
    Bytes stored;
    DatFileEntry entry;  // offset and size are filled in when built
    ChainLayout layout;
  };

  BuilderOptions options_;
  DatHeader header_;
  std::map<std::uint32_t, File> files_;
};

}  // namespace dat::testing
