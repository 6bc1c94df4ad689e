#pragma once

#include <cstdint>
#include <expected>

#include "error/record_read_error.h"
#include "reader/byte_cursor.h"

namespace dat {

// One directory entry: where a file's block chain starts and how many bytes it stores.
struct DatFileEntry {
  static constexpr std::size_t kSize = 24;
  static constexpr std::uint32_t kCompressedFlag = 1;  // stored bytes are LRS-compressed

  std::uint32_t bit_flags = 0;
  std::uint32_t id = 0;
  std::uint32_t offset = 0;  // absolute offset of the first block of the chain
  std::uint32_t size = 0;    // bytes stored in the chain (compressed size when compressed)
  std::uint32_t timestamp = 0;
  std::uint32_t version = 0;

  [[nodiscard]] bool compressed() const noexcept { return (bit_flags & kCompressedFlag) != 0; }

  [[nodiscard]] static std::expected<DatFileEntry, RecordReadError> read(ByteCursor& cursor);

  friend bool operator==(const DatFileEntry&, const DatFileEntry&) = default;
};

}  // namespace dat
