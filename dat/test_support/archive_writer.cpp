#include "archive_writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "lrs_compressor.h"
#include "split_mix.h"

namespace dat::testing {
namespace {

constexpr std::uint64_t kMaxImageSize = std::numeric_limits<std::uint32_t>::max();

void store_u32le(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
}

void store_entry(std::uint8_t* p, const DatFileEntry& entry) {
  store_u32le(p, entry.bit_flags);
  store_u32le(p + 4, entry.id);
  store_u32le(p + 8, entry.offset);
  store_u32le(p + 12, entry.size);
  store_u32le(p + 16, entry.timestamp);
  store_u32le(p + 20, entry.version);
}

// One block to place: block `block` of chain `chain`, `length` bytes including its link.
struct Extent {
  std::size_t chain;
  std::size_t block;
  std::size_t length;
};

// How many blocks a chain of `size` data bytes has, per its layout.
std::size_t block_count(std::size_t size, std::uint32_t payload, const ChainLayout& layout) {
  const std::size_t natural = payload == 0 ? 1 : std::max<std::size_t>(1, (size + payload - 1) / payload);
  if (!layout.zero_link_block) return natural;
  const std::size_t zero_at = *layout.zero_link_block;
  // Without payload every block before the last is a bare link, so any count works; with
  // payload a block past the natural chain could never be reached.
  if (payload != 0 && zero_at >= natural) {
    throw std::invalid_argument(fmt::format(
        "zero_link_block {} lies beyond the {} block(s) that {} bytes need", zero_at, natural, size));
  }
  return zero_at + 1;
}

}  // namespace

std::uint32_t Chain::locate(std::size_t index) const {
  if (index >= size) throw std::out_of_range(fmt::format("data index {} outside a chain of {} bytes", index, size));
  const std::size_t last = blocks.size() - 1;
  const std::size_t block = payload == 0 ? last : std::min<std::size_t>(index / payload, last);
  return static_cast<std::uint32_t>(blocks[block] + kLinkSize + (index - block * payload));
}

DatFileEntry make_entry(std::uint32_t id, const Chain& chain, std::uint32_t bit_flags, std::uint32_t timestamp,
                        std::uint32_t version) {
  return DatFileEntry{.bit_flags = bit_flags,
                      .id = id,
                      .offset = chain.offset,
                      .size = chain.size,
                      .timestamp = timestamp,
                      .version = version};
}

Bytes encode_header(const DatHeader& header) {
  Bytes out(kHeaderSize);
  std::uint8_t* p = out.data();
  for (const std::uint32_t field :
       {header.magic, header.block_size, header.file_size, header.dataset, header.subset, header.free_head,
        header.free_tail, header.free_count, header.root_offset, header.new_lru, header.old_lru, header.use_lru,
        header.master_map_id, header.engine_version, header.game_version}) {
    store_u32le(p, field);
    p += 4;
  }
  const std::size_t version_bytes = std::min<std::size_t>(header.version_string.size(), 16);
  std::copy_n(header.version_string.begin(), version_bytes, p);
  p += 16;
  store_u32le(p, header.version_minor);
  return out;
}

Bytes encode_node(const NodeContent& node) {
  if (node.entries.size() > kNodeSlots) {
    throw std::invalid_argument(fmt::format("a node has {} entry slots, not {}", kNodeSlots, node.entries.size()));
  }
  Bytes out(kNodeSize, node.unused_fill);
  for (std::size_t i = 0; i < kNodeBranches; ++i) store_u32le(out.data() + node_branch_at(i), node.branches[i]);
  store_u32le(out.data() + kEntryCountAt,
              node.entry_count.value_or(static_cast<std::uint32_t>(node.entries.size())));
  for (std::size_t slot = 0; slot < node.entries.size(); ++slot) {
    store_entry(out.data() + node_slot_at(slot), node.entries[slot]);
  }
  return out;
}

std::expected<void, std::string> write_bytes(const std::filesystem::path& path, ByteView bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return std::unexpected(fmt::format("cannot create {}", path.string()));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) return std::unexpected(fmt::format("cannot write {}", path.string()));
  return {};
}

ArchiveImage::ArchiveImage(std::uint32_t block_size)
    : block_size_(block_size), body_(kPreambleSize + kHeaderSize) {
  if (block_size < kLinkSize) {
    throw std::invalid_argument(fmt::format(
        "chains need a block size of at least 4 to hold their links, not {}; set header().block_size for a "
        "damaged header",
        block_size));
  }
  header_.block_size = block_size;
  header_.version_string = Bytes(16, 0);
}

std::uint32_t ArchiveImage::append_raw(ByteView bytes) {
  if (bytes.size() > kMaxImageSize - body_.size()) throw std::length_error("archive image beyond 4 GiB");
  const auto offset = static_cast<std::uint32_t>(body_.size());
  body_.insert(body_.end(), bytes.begin(), bytes.end());
  return offset;
}

Chain ArchiveImage::append_chain(ByteView data, const ChainLayout& layout, const Placement& placement) {
  const ChainRequest request{.size = data.size(), .layout = layout};
  Chain chain = std::move(reserve_chains(std::span(&request, 1), placement).front());
  write_chain(chain, data);
  return chain;
}

Chain ArchiveImage::append_node(const NodeContent& node, const ChainLayout& layout, const Placement& placement) {
  return append_chain(encode_node(node), layout, placement);
}

std::vector<Chain> ArchiveImage::reserve_chains(std::span<const ChainRequest> requests, const Placement& placement) {
  const std::uint32_t payload = block_size_ - static_cast<std::uint32_t>(kLinkSize);
  std::vector<Chain> chains(requests.size());
  std::vector<Extent> extents;
  for (std::size_t c = 0; c < requests.size(); ++c) {
    const ChainRequest& request = requests[c];
    if (request.size > kMaxImageSize) throw std::length_error("chain beyond 4 GiB");
    const std::size_t count = block_count(request.size, payload, request.layout);
    chains[c].size = static_cast<std::uint32_t>(request.size);
    chains[c].payload = payload;
    chains[c].blocks.resize(count);
    for (std::size_t k = 0; k + 1 < count; ++k) extents.push_back({c, k, block_size_});
    // The last block holds the rest, and is never shorter than a whole block.
    const std::size_t rest = request.size - std::min<std::size_t>(request.size, (count - 1) * payload);
    extents.push_back({c, count - 1, kLinkSize + std::max<std::size_t>(rest, payload)});
  }

  Random random(placement.seed);
  if (!placement.order.empty()) {
    std::vector<std::size_t> sorted = placement.order;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      if (sorted[i] != i || sorted.size() != extents.size()) {
        throw std::invalid_argument(fmt::format("placement order is no permutation of the {} blocks", extents.size()));
      }
    }
    std::vector<Extent> ordered;
    ordered.reserve(extents.size());
    for (const std::size_t i : placement.order) ordered.push_back(extents[i]);
    extents = std::move(ordered);
  } else if (placement.scattered && extents.size() > 1) {
    for (std::size_t i = extents.size() - 1; i > 0; --i) std::swap(extents[i], extents[random.below(i + 1)]);
    const bool in_order = std::is_sorted(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) {
      return std::pair(a.chain, a.block) < std::pair(b.chain, b.block);
    });
    if (in_order) std::rotate(extents.begin(), extents.begin() + 1, extents.end());
  }

  for (const Extent& extent : extents) {
    if (placement.scattered) {
      for (std::size_t gap = random.below(placement.max_gap_blocks + 1); gap > 0; --gap) {
        Bytes garbage(block_size_);
        for (std::uint8_t& byte : garbage) byte = random.byte();
        append_raw(garbage);
      }
    }
    const Bytes block(extent.length, requests[extent.chain].layout.filler);
    chains[extent.chain].blocks[extent.block] = append_raw(block);
  }

  for (std::size_t c = 0; c < chains.size(); ++c) {
    Chain& chain = chains[c];
    chain.offset = chain.blocks.front();
    for (std::size_t k = 0; k < chain.blocks.size(); ++k) {
      const std::uint32_t link = k + 1 < chain.blocks.size() ? chain.blocks[k + 1] : requests[c].layout.last_link;
      store_u32le(body_.data() + chain.blocks[k], link);
    }
  }
  return chains;
}

void ArchiveImage::write_chain(const Chain& chain, ByteView data, std::size_t at) {
  if (at > chain.size || data.size() > chain.size - at) {
    throw std::out_of_range(fmt::format("{} bytes at {} do not fit a chain of {}", data.size(), at, chain.size));
  }
  // Run by run: each block up to the last carries one payload, the last all the rest.
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t index = at + done;
    const std::size_t last = chain.blocks.size() - 1;
    const std::size_t block = chain.payload == 0 ? last : std::min<std::size_t>(index / chain.payload, last);
    const std::size_t run_end = block == last ? chain.size : (block + 1) * std::size_t{chain.payload};
    const std::size_t count = std::min(run_end - index, data.size() - done);
    std::memcpy(body_.data() + chain.locate(index), data.data() + done, count);
    done += count;
  }
}

void ArchiveImage::write_node(const Chain& chain, const NodeContent& node) { write_chain(chain, encode_node(node)); }

void ArchiveImage::patch_bytes(std::uint64_t offset, ByteView bytes) {
  if (offset > body_.size() || bytes.size() > body_.size() - offset) {
    throw std::out_of_range(
        fmt::format("patch of {} bytes at {} outside an image of {}", bytes.size(), offset, body_.size()));
  }
  patches_.push_back({offset, Bytes(bytes.begin(), bytes.end())});
}

void ArchiveImage::patch_u32(std::uint64_t offset, std::uint32_t value) {
  std::uint8_t raw[4];
  store_u32le(raw, value);
  patch_bytes(offset, raw);
}

void ArchiveImage::patch_chain_u32(const Chain& chain, std::size_t index, std::uint32_t value) {
  std::uint8_t raw[4];
  store_u32le(raw, value);
  for (std::size_t i = 0; i < 4; ++i) patch_bytes(chain.locate(index + i), std::span(raw + i, 1));
}

Bytes ArchiveImage::bytes() const {
  Bytes out = body_;
  const Bytes header = encode_header(header_);
  std::copy(header.begin(), header.end(), out.begin() + kPreambleSize);
  for (const Patch& patch : patches_) {
    std::copy(patch.bytes.begin(), patch.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(patch.offset));
  }
  return out;
}

std::expected<void, std::string> ArchiveImage::write_file(const std::filesystem::path& path) const {
  return write_bytes(path, bytes());
}

void BuiltArchive::patch_entry(std::uint32_t id, EntryField field, std::uint32_t value) {
  const EntrySlot& at = entries.at(id);
  image.patch_chain_u32(nodes.at(at.node), node_slot_at(at.slot, field), value);
}

namespace {

// A node of the planned directory: its ids in slot order and its children, as indices into
// the plan, which lists nodes in pre-order.
struct PlannedNode {
  std::vector<std::uint32_t> ids;
  std::vector<std::size_t> children;
};

// Lays sorted `ids` out as a B-tree with at most `fanout` entries per node. A subtree is
// given the least height that holds its ids; an inner node takes the fewest children that
// fit, and its ids split evenly between them, so siblings differ by at most one in size.
class TreePlanner {
 public:
  explicit TreePlanner(std::size_t fanout) : fanout_(fanout) {}

  std::vector<PlannedNode> plan(std::span<const std::uint32_t> ids) && {
    if (!ids.empty()) add(ids);
    return std::move(nodes_);
  }

 private:
  // Ids a subtree of `height` can hold: capacity(0) = N, capacity(h) = N + (N + 1) * capacity(h - 1).
  // Saturates instead of wrapping; no archive comes near.
  std::uint64_t capacity(std::size_t height) const {
    std::uint64_t held = fanout_;
    for (std::size_t h = 0; h < height && held < (std::uint64_t{1} << 40); ++h) held = fanout_ + (fanout_ + 1) * held;
    return held;
  }

  std::size_t add(std::span<const std::uint32_t> ids) {
    const std::size_t index = nodes_.size();
    nodes_.emplace_back();
    if (ids.size() <= fanout_) {
      nodes_[index].ids.assign(ids.begin(), ids.end());
      return index;
    }
    std::size_t height = 1;
    while (capacity(height) < ids.size()) ++height;
    const std::uint64_t below = capacity(height - 1);
    // The fewest children with each at most `below` ids: (k - 1) separators + k * below >= n.
    const std::size_t children =
        std::max<std::size_t>(2, static_cast<std::size_t>((ids.size() + 1 + below) / (below + 1)));
    const std::size_t spread = ids.size() - (children - 1);
    std::size_t at = 0;
    for (std::size_t c = 0; c < children; ++c) {
      const std::size_t take = spread / children + (c < spread % children ? 1 : 0);
      // A child can only come out empty with one entry per node; it is then an empty leaf,
      // so the node keeps its c + 1 children.
      const std::size_t child = add(ids.subspan(at, take));
      nodes_[index].children.push_back(child);
      at += take;
      if (c + 1 < children) nodes_[index].ids.push_back(ids[at++]);
    }
    return index;
  }

  std::size_t fanout_;
  std::vector<PlannedNode> nodes_;
};

}  // namespace

ArchiveBuilder::ArchiveBuilder(BuilderOptions options) : options_(options) {
  if (options_.block_size < kLinkSize) {
    throw std::invalid_argument(fmt::format("block size {} below 4; damage the built image's header instead",
                                            options_.block_size));
  }
  if (options_.max_entries_per_node < 1 || options_.max_entries_per_node > kNodeSlots) {
    throw std::invalid_argument(
        fmt::format("max_entries_per_node must be 1 to {}, not {}", kNodeSlots, options_.max_entries_per_node));
  }
  header_.version_string = Bytes(16, 0);
}

ArchiveBuilder& ArchiveBuilder::add_file(std::uint32_t id, Bytes data, FileOptions options) {
  if (files_.contains(id)) throw std::invalid_argument(fmt::format("file id {:08X} added twice", id));
  File file{.stored = options.compressed ? compress_lrs(data) : std::move(data),
            .entry = {.bit_flags = options.extra_flags | (options.compressed ? DatFileEntry::kCompressedFlag : 0u),
                      .id = id,
                      .timestamp = options.timestamp,
                      .version = options.version},
            .layout = options.layout};
  files_.emplace(id, std::move(file));
  return *this;
}

BuiltArchive ArchiveBuilder::build_image() const {
  std::vector<std::uint32_t> ids;
  ids.reserve(files_.size());
  for (const auto& [id, file] : files_) ids.push_back(id);
  const std::vector<PlannedNode> plan = TreePlanner(options_.max_entries_per_node).plan(ids);

  // Nodes first, root at the front, then the files in id order; a scattered placement
  // shuffles the blocks of all of them together.
  std::vector<ChainRequest> requests;
  requests.reserve(plan.size() + files_.size());
  ChainLayout node_layout;
  node_layout.filler = options_.node_filler;
  requests.insert(requests.end(), plan.size(), ChainRequest{.size = kNodeSize, .layout = node_layout});
  for (const auto& [id, file] : files_) requests.push_back({.size = file.stored.size(), .layout = file.layout});

  BuiltArchive built{.image = ArchiveImage(options_.block_size), .nodes = {}, .files = {}, .entries = {}};
  std::vector<Chain> chains = built.image.reserve_chains(requests, options_.placement);
  built.nodes.assign(chains.begin(), chains.begin() + static_cast<std::ptrdiff_t>(plan.size()));

  std::size_t next = plan.size();
  std::map<std::uint32_t, DatFileEntry> entries;
  for (const auto& [id, file] : files_) {
    const Chain& chain = chains[next++];
    built.image.write_chain(chain, file.stored);
    DatFileEntry entry = file.entry;
    entry.offset = chain.offset;
    entry.size = chain.size;
    entries.emplace(id, entry);
    built.files.emplace(id, chain);
  }

  for (std::size_t n = 0; n < plan.size(); ++n) {
    NodeContent node;
    for (std::size_t slot = 0; slot < plan[n].ids.size(); ++slot) {
      node.entries.push_back(entries.at(plan[n].ids[slot]));
      built.entries.emplace(plan[n].ids[slot], BuiltArchive::EntrySlot{n, slot});
    }
    for (std::size_t c = 0; c < plan[n].children.size(); ++c) {
      node.branches[c] = built.nodes[plan[n].children[c]].offset;
    }
    built.image.write_node(built.nodes[n], node);
  }

  DatHeader& header = built.image.header();
  header = header_;
  header.block_size = options_.block_size;
  header.root_offset = built.nodes.empty() ? 0 : built.nodes.front().offset;
  header.file_size = built.image.size();
  return built;
}

Bytes ArchiveBuilder::build() const { return build_image().image.bytes(); }

std::expected<void, std::string> ArchiveBuilder::write_file(const std::filesystem::path& path) const {
  return build_image().image.write_file(path);
}

}  // namespace dat::testing
