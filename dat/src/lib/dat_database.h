#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <unordered_map>

#include "error/dat_error.h"
#include "lib/archive_file.h"
#include "lib/dat_file_entry.h"
#include "lib/dat_header.h"
#include "utils/bytes.h"

namespace dat {

// An open portal archive: its header, its whole directory index and the open file.
// It exists only fully opened, and is read-only afterwards.
class DatDatabase {
 public:
  using FileIndex = std::unordered_map<std::uint32_t, DatFileEntry>;

  // A directory node: 62 branch pointers, an entry count and 61 entry slots.
  static constexpr std::size_t kNodeSize = 1716;
  static constexpr std::size_t kBranchCount = 62;
  static constexpr std::size_t kEntrySlots = 61;
  static constexpr std::size_t kEntriesOffset = 252;
  // A damaged directory whose pointers fan into the same nodes again and again could
  // otherwise be walked for ages; real archives have a few thousand nodes. A small archive
  // may still reach its nodes kMinNodeVisits times in all (a node shared by every branch of
  // a node that is itself shared by every branch of the root is 3,907 visits).
  static constexpr std::size_t kMaxNodeVisits = std::size_t{1} << 20;
  static constexpr std::size_t kMinNodeVisits = std::size_t{1} << 14;
  // What one file may gather at most in an archive shorter than this; in a longer one, the
  // archive's length. Only a chain that loops or whose blocks overlap gathers more than the
  // archive holds, and the bound keeps a damaged entry's claimed size from sizing a buffer.
  static constexpr std::uint64_t kMinFileBound = std::uint64_t{64} << 20;

  // Opens the archive at `path`, reads its header and loads the whole directory.
  [[nodiscard]] static std::expected<DatDatabase, DatError> open(const std::filesystem::path& path);

  [[nodiscard]] const DatHeader& header() const noexcept { return header_; }
  [[nodiscard]] const FileIndex& files() const noexcept { return files_; }

  // Gathers `size` bytes from the block chain that starts at `offset`.
  [[nodiscard]] std::expected<Bytes, DatError> read_file_data(std::uint32_t offset, std::uint32_t size) const;
  // The bytes of file `id`, decompressed when its entry says so.
  [[nodiscard]] std::expected<Bytes, DatError> get_file(std::uint32_t id) const;

 private:
  DatDatabase(ArchiveFile file, DatHeader header, std::uint64_t length)
      : file_(std::move(file)), header_(std::move(header)), file_length_(length) {}

  [[nodiscard]] std::expected<void, DatError> read_directory();
  [[nodiscard]] std::expected<void, DatError> read_node(std::uint32_t offset);

  ArchiveFile file_;
  DatHeader header_;
  FileIndex files_;
  std::uint64_t file_length_;  // at opening; bounds what one chain may gather
};

}  // namespace dat
