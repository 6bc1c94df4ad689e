#include "lib/dat_database.h"

#include <array>
#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "utils/lrs.h"

namespace dat {

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

  auto enter = [&](std::uint32_t offset) -> std::expected<void, DatError> {
    if (on_path.contains(offset)) {
      return std::unexpected(DatError::corruption(
          fmt::format("directory node at offset 0x{:08X} links back to itself or one of its ancestors", offset)));
    }
    if (++visits > kMaxNodeVisits) {
      return std::unexpected(DatError::corruption(
          fmt::format("directory has more than {} nodes; its branch pointers are damaged", kMaxNodeVisits)));
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

  // The buffer never outgrows the archive file, whatever size the entry claims: only a chain
  // that visits a block twice (or overlaps blocks) could gather more bytes than the file
  // holds, and such a chain is refused when it gets there. Until then the walk is the plain
  // one, so a chain that runs off the end fails as any short read does.
  const std::uint64_t limit = std::min<std::uint64_t>(size, file_length_);
  Bytes out;
  out.reserve(static_cast<std::size_t>(limit));
  // Makes room for `count` more bytes of data, about to come from a read of `span` bytes at
  // file offset `at`.
  auto grow = [&](std::uint64_t at, std::uint64_t span, std::size_t count) -> std::expected<std::uint8_t*, DatError> {
    if (count > limit - out.size()) {
      if (at > file_length_ || span > file_length_ - at) {
        return std::unexpected(DatError::io(IoError::unexpected_eof(IoError::kFillWholeBuffer)));
      }
      return std::unexpected(DatError::corruption(fmt::format(
          "block chain at offset 0x{:08X} gathers more than the archive's {} bytes for a file of {} bytes", offset,
          file_length_, size)));
    }
    out.resize(out.size() + count);
    return out.data() + out.size() - count;
  };

  const std::uint32_t payload = header_.block_size - 4;
  std::uint64_t block = offset;
  // Brent's cycle check, needed only when blocks carry no payload: with a payload every
  // step brings bytes and the walk ends once `size` of them are in.
  std::uint64_t checkpoint = block;
  std::uint64_t steps = 0;
  std::uint64_t power = 1;

  while (true) {
    const std::size_t remaining = size - out.size();
    const std::size_t piece = std::min<std::size_t>(remaining, payload);
    auto target = grow(block, 4 + piece, piece);
    if (!target) return std::unexpected(std::move(target.error()));
    // Link and payload in one read: the payload goes straight into the result.
    std::uint8_t link_bytes[4];
    iovec parts[2] = {{link_bytes, sizeof link_bytes}, {*target, piece}};
    if (auto got = file_.read_exact_at(block, parts); !got) return std::unexpected(DatError::io(got.error()));
    const std::uint32_t link = load_u32le(link_bytes);

    if (link == 0) {
      // The last block holds everything that is left, contiguously, however long.
      const std::size_t rest = remaining - piece;
      if (rest > 0) {
        const std::uint64_t at = block + 4 + piece;
        auto tail = grow(at, rest, rest);
        if (!tail) return std::unexpected(std::move(tail.error()));
        if (auto got = file_.read_exact_at(at, std::span<std::uint8_t>(*tail, rest)); !got) {
          return std::unexpected(DatError::io(got.error()));
        }
      }
      return out;
    }
    if (out.size() == size) return out;

    block = link;
    if (payload == 0) {
      if (block == checkpoint) {
        return std::unexpected(DatError::corruption(fmt::format(
            "block chain at offset 0x{:08X} loops without carrying any data", offset)));
      }
      if (++steps == power) {
        checkpoint = block;
        power *= 2;
        steps = 0;
      }
    }
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
