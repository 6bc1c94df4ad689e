#pragma once

#include <cstdint>
#include <expected>

#include "error/record_read_error.h"
#include "reader/byte_cursor.h"
#include "utils/bytes.h"

namespace dat {

// The archive header: 80 bytes at offset 320. Only block_size and root_offset steer the
// reader; the other fields are kept as read.
struct DatHeader {
  static constexpr std::uint64_t kOffset = 320;
  static constexpr std::size_t kSize = 80;
  static constexpr std::size_t kVersionStringSize = 16;

  std::uint32_t magic = 0;
  std::uint32_t block_size = 0;  // bytes per block, the 4-byte link included
  std::uint32_t file_size = 0;
  std::uint32_t dataset = 0;
  std::uint32_t subset = 0;
  std::uint32_t free_head = 0;
  std::uint32_t free_tail = 0;
  std::uint32_t free_count = 0;
  std::uint32_t root_offset = 0;  // first directory node; 0 for an empty directory
  std::uint32_t new_lru = 0;
  std::uint32_t old_lru = 0;
  std::uint32_t use_lru = 0;
  std::uint32_t master_map_id = 0;
  std::uint32_t engine_version = 0;
  std::uint32_t game_version = 0;
  Bytes version_string;  // 16 raw bytes
  std::uint32_t version_minor = 0;

  [[nodiscard]] static std::expected<DatHeader, RecordReadError> read(ByteCursor& cursor);

  friend bool operator==(const DatHeader&, const DatHeader&) = default;
};

}  // namespace dat
