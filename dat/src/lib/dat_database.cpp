#include "lib/dat_database.h"

#include <array>
#include <cstring>
#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "utils/lrs.h"

namespace dat {
namespace {

// Blocks that one read ahead takes at most: 256 KiB with 1 KiB blocks, which holds all but
// the largest files whole, for 9 KiB of links and iovecs on the stack.
constexpr std::size_t kReadAheadBlocks = 256;

}  // namespace

std::expected<DatDatabase, DatError> DatDatabase::open(const std::filesystem::path& path) {
  auto file = ArchiveFile::open(path);
  if (!file) return std::unexpected(DatError::path_error(path, std::move(file.error())));

  if (auto sought = file->seek(DatHeader::kOffset); !sought) return std::unexpected(DatError::io(sought.error()));
  std::array<std::uint8_t, DatHeader::kSize> raw{};
  ArchiveFile::PartialRead got = file->read_some(raw);
  ByteCursor cursor(ByteView(raw.data(), got.count), std::move(got.failure));
  auto header = DatHeader::read(cursor);
  if (!header) return std::unexpected(DatError::bin_read(std::move(header.error())));

  auto length = file->length();
  if (!length) return std::unexpected(DatError::io(std::move(length.error())));

  DatDatabase db(std::move(*file), std::move(*header), *length);
  if (auto loaded = db.read_directory(); !loaded) return std::unexpected(std::move(loaded.error()));
  return db;
}

std::expected<void, DatError> DatDatabase::read_directory() { return read_node(header_.root_offset); }

std::expected<void, DatError> DatDatabase::read_node(std::uint32_t root) {
  // Depth-first and pre-order, like a recursive walk, but with an explicit stack so a
  // very deep tree cannot exhaust the call stack. The offsets on the current path catch
  // a pointer back to an ancestor (or to the node itself); a node reached again from
  // another parent is simply loaded again.
  struct Pending {
    std::uint32_t offset;
    std::array<std::uint32_t, kBranchCount> branches;
    std::size_t branch_count;  // pointers to follow: entry count + 1, or 0 for a leaf
    std::size_t next = 0;
  };
  std::vector<Pending> path;
  std::unordered_set<std::uint32_t> on_path;
  std::size_t visits = 0;
  // Nodes of a sound directory never share bytes, so the archive holds at most one per
  // kNodeSize bytes. A walk far beyond that is reading nodes shared between parents again
  // and again, which only damage makes; a visit can cost one read per block, so a cap that
  // ignores the archive's size would let a few kilobytes of crossed pointers keep the load
  // busy for hours. The floor still loads a small tree that reaches its nodes many times.
  const std::uint64_t max_visits =
      std::min<std::uint64_t>(kMaxNodeVisits, std::max<std::uint64_t>(kMinNodeVisits, 2 * (file_length_ / kNodeSize)));

  auto enter = [&](std::uint32_t offset) -> std::expected<void, DatError> {
    if (on_path.contains(offset)) {
      return std::unexpected(DatError::corruption(
          fmt::format("directory node at offset 0x{:08X} links back to itself or one of its ancestors", offset)));
    }
    if (++visits > max_visits) {
      return std::unexpected(DatError::corruption(fmt::format(
          "directory walk reaches more than {} nodes in an archive of {} bytes; its branch pointers are damaged",
          max_visits, file_length_)));
    }
    auto node = read_file_data(offset, kNodeSize);
    if (!node) return std::unexpected(std::move(node.error()));

    Pending pending{offset, {}, 0};
    for (std::size_t i = 0; i < kBranchCount; ++i) pending.branches[i] = load_u32le(node->data() + 4 * i);
    const std::uint32_t entry_count = load_u32le(node->data() + 4 * kBranchCount);

    ByteCursor cursor(ByteView(*node).subspan(kEntriesOffset));
    for (std::uint32_t k = 0; k < entry_count; ++k) {
      auto entry = DatFileEntry::read(cursor);
      if (!entry) return std::unexpected(DatError::bin_read(std::move(entry.error())));
      files_.insert_or_assign(entry->id, *entry);
    }
    // Only a node whose first pointer is set has children; it has entry count + 1 of
    // them, and the entry count is at most 61 once every slot has been read.
    pending.branch_count = pending.branches[0] == 0 ? 0 : entry_count + 1;
    on_path.insert(offset);
    path.push_back(pending);
    return {};
  };

  if (root == 0) return {};
  if (auto entered = enter(root); !entered) return entered;
  while (!path.empty()) {
    Pending& top = path.back();
    if (top.next == top.branch_count) {
      on_path.erase(top.offset);
      path.pop_back();
      continue;
    }
    const std::uint32_t child = top.branches[top.next++];
    if (child == 0) continue;
    if (auto entered = enter(child); !entered) return entered;
  }
  return {};
}

std::expected<Bytes, DatError> DatDatabase::read_file_data(std::uint32_t offset, std::uint32_t size) const {
  if (size == 0) return Bytes{};
  if (header_.block_size < 4) {
    return std::unexpected(DatError::corruption(
        fmt::format("block size {} leaves no room for the 4-byte block link", header_.block_size)));
  }

  // A chain of distinct, non-overlapping blocks gathers at most the archive's length, so the
  // buffer is reserved for no more than that, whatever size the entry claims: an absurd size
  // on a chain that runs off the end then fails as any short read does, having allocated
  // only what the file could supply. Only a chain that comes back to a block it has read, or
  // whose blocks overlap, gathers more; it may gather up to `limit` (the archive's length,
  // or kMinFileBound in a small archive) and is refused beyond that.
  const std::uint64_t file_bound = std::max<std::uint64_t>(file_length_, kMinFileBound);
  const std::uint64_t limit = std::min<std::uint64_t>(size, file_bound);
  Bytes out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, file_length_)));
  const auto too_long = [&] {
    return DatError::corruption(fmt::format(
        "block chain at offset 0x{:08X} would gather {} bytes for one file, more than the {} a file of this "
        "{}-byte archive may have",
        offset, size, file_bound, file_length_));
  };
  // Makes room for `count` more bytes of data, about to come from a read of `span` bytes at
  // file offset `at`.
  auto grow = [&](std::uint64_t at, std::uint64_t span, std::size_t count) -> std::expected<std::uint8_t*, DatError> {
    if (count > limit - out.size()) {
      if (at > file_length_ || span > file_length_ - at) {
        return std::unexpected(DatError::io(IoError::unexpected_eof(IoError::kFillWholeBuffer)));
      }
      return std::unexpected(too_long());
    }
    out.resize(out.size() + count);
    return out.data() + out.size() - count;
  };

  // Everything that is left, read contiguously from `at` on: the last block of a chain (the
  // one whose link is 0) holds it all, however long.
  auto finish_at = [&](std::uint64_t at) -> std::expected<Bytes, DatError> {
    const std::size_t rest = size - out.size();
    if (rest > 0) {
      auto tail = grow(at, rest, rest);
      if (!tail) return std::unexpected(std::move(tail.error()));
      if (auto got = file_.read_exact_at(at, std::span<std::uint8_t>(*tail, rest)); !got) {
        return std::unexpected(DatError::io(got.error()));
      }
    }
    return std::move(out);
  };

  const std::uint64_t block_size = header_.block_size;
  const std::uint32_t payload = header_.block_size - 4;
  std::uint64_t block = offset;

  // Brent's cycle check on the blocks the walk goes to. Once the walk comes back to a block
  // it has read, it would only go round the same blocks again, reading the same bytes: the
  // bytes from `checkpoint_out` on repeat with the period of the loop. The rest is copied
  // from them instead of being read loop after loop (a loop of blocks without payload would
  // never end at all).
  std::uint64_t checkpoint = block;
  std::size_t checkpoint_out = 0;  // bytes gathered before the checkpoint block
  std::uint64_t steps = 0;
  std::uint64_t power = 1;
  // Notes that the walk goes on to `next` with `gathered` bytes in; true when `next` has
  // been read before.
  const auto loops_back = [&](std::uint64_t next, std::size_t gathered) {
    if (next == checkpoint) return true;
    if (++steps == power) {
      checkpoint = next;
      checkpoint_out = gathered;
      power *= 2;
      steps = 0;
    }
    return false;
  };
  // The rest of the file, copied from the loop's first round; `out` holds `gathered` bytes.
  const auto repeat_loop = [&](std::size_t gathered) -> std::expected<Bytes, DatError> {
    out.resize(gathered);
    if (gathered == checkpoint_out) {
      return std::unexpected(DatError::corruption(
          fmt::format("block chain at offset 0x{:08X} loops without carrying any data", offset)));
    }
    if (size > limit) return std::unexpected(too_long());
    out.resize(size);
    // Every copy takes whole rounds of the loop from its first round on, doubling as it goes.
    for (std::size_t filled = gathered; filled < size;) {
      const std::size_t count = std::min<std::size_t>(filled - checkpoint_out, size - filled);
      std::memcpy(out.data() + filled, out.data() + checkpoint_out, count);
      filled += count;
    }
    return std::move(out);
  };

  while (true) {
    if (payload != 0 && size - out.size() > payload) {
      // Read ahead. Most chains run through consecutive blocks, so the blocks that follow
      // `block` in the file are read together with it in one system call: each link into
      // `links`, each payload straight to its place in `out`. The links then tell how many of
      // those blocks really are the chain's next ones; the walk goes on after the last of
      // them and drops what was read beyond it. Only blocks that lie whole inside the archive
      // (as opened) are read ahead, and no more bytes than the size bound lets in; a block
      // that still does not arrive whole is read alone by the step below, which reports
      // errors as the plain walk does.
      const std::size_t base = out.size();
      const std::size_t wanted = size - base;
      std::uint64_t count = std::min<std::uint64_t>(kReadAheadBlocks, (wanted + payload - 1) / payload);
      count = std::min<std::uint64_t>(count, block < file_length_ ? (file_length_ - block) / block_size : 0);
      // Past the size bound every block still brings a whole payload, as in the step below.
      if (wanted > limit - base) count = std::min<std::uint64_t>(count, (limit - base) / payload);
      if (count >= 2) {
        const std::size_t run_bytes = std::min<std::size_t>(wanted, count * payload);
        out.resize(base + run_bytes);  // before `parts` points into it
        std::array<std::array<std::uint8_t, 4>, kReadAheadBlocks> links;
        std::array<iovec, 2 * kReadAheadBlocks> parts;
        for (std::size_t i = 0; i < count; ++i) {
          parts[2 * i] = {links[i].data(), 4};
          parts[2 * i + 1] = {out.data() + base + i * payload, std::min<std::size_t>(payload, run_bytes - i * payload)};
        }
        const std::size_t arrived = file_.read_available_at(block, std::span(parts.data(), 2 * count));

        std::size_t taken = 0;  // payload bytes of the blocks accepted so far
        for (std::size_t i = 0; i < count; ++i) {
          const std::size_t piece = std::min<std::size_t>(payload, run_bytes - taken);
          if (arrived < i * block_size + 4 + piece) break;  // `block` is block i: read it alone
          const std::uint32_t link = load_u32le(links[i].data());
          taken += piece;
          if (link == 0) {
            out.resize(base + taken);
            return finish_at(block + 4 + piece);
          }
          if (base + taken == size) return out;
          const std::uint64_t following = block + block_size;
          block = link;
          if (loops_back(block, base + taken)) return repeat_loop(base + taken);
          if (link != following) break;  // the chain leaves the run
        }
        out.resize(base + taken);
        if (taken > 0) continue;
      }
    }

    const std::size_t remaining = size - out.size();
    const std::size_t piece = std::min<std::size_t>(remaining, payload);
    auto target = grow(block, 4 + piece, piece);
    if (!target) return std::unexpected(std::move(target.error()));
    // Link and payload in one read: the payload goes straight into the result.
    std::uint8_t link_bytes[4];
    iovec parts[2] = {{link_bytes, sizeof link_bytes}, {*target, piece}};
    if (auto got = file_.read_exact_at(block, parts); !got) return std::unexpected(DatError::io(got.error()));
    const std::uint32_t link = load_u32le(link_bytes);

    if (link == 0) return finish_at(block + 4 + piece);
    if (out.size() == size) return out;

    block = link;
    if (loops_back(block, out.size())) return repeat_loop(out.size());
  }
}

std::expected<Bytes, DatError> DatDatabase::get_file(std::uint32_t id) const {
  const auto found = files_.find(id);
  if (found == files_.end()) return std::unexpected(DatError::not_found(id));
  auto data = read_file_data(found->second.offset, found->second.size);
  if (!data) return data;
  if (found->second.compressed()) return decompress_lrs(*data);
  return data;
}

}  // namespace dat
