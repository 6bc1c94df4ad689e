#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <utility>

#include "error/io_error.h"
#include "utils/bytes.h"

namespace dat {

// An open, read-only file descriptor with the exact positioned reads the archive needs.
// Interrupted reads are repeated; a read that returns nothing before the request is
// complete is the end of the file ("failed to fill whole buffer").
class ArchiveFile {
 public:
  [[nodiscard]] static std::expected<ArchiveFile, IoError> open(const std::filesystem::path& path);

  ArchiveFile(ArchiveFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ArchiveFile& operator=(ArchiveFile&& other) noexcept;
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;
  ~ArchiveFile();

  // Sets the sequential read position.
  [[nodiscard]] std::expected<void, IoError> seek(std::uint64_t offset);
  // Reads sequentially until `out` is full or the file ends; returns how many bytes came.
  // An error after some bytes have arrived is returned as `failure` with the count so far.
  struct PartialRead {
    std::size_t count = 0;
    std::optional<IoError> failure;
  };
  [[nodiscard]] PartialRead read_some(std::span<std::uint8_t> out);
  [[nodiscard]] std::expected<std::uint64_t, IoError> length() const;

  // Fills every buffer of `parts`, in order, from `offset` on, with as few system calls
  // as the kernel allows. `parts` is consumed (its entries are advanced).
  [[nodiscard]] std::expected<void, IoError> read_exact_at(std::uint64_t offset, std::span<iovec> parts) const;
  [[nodiscard]] std::expected<void, IoError> read_exact_at(std::uint64_t offset, std::span<std::uint8_t> out) const;
  // Fills `parts` in order from `offset` on as far as the file goes and returns how many bytes
  // arrived. The end of the file or an error just ends the read, unreported: this is for
  // reading ahead, and whoever needs the bytes that did not come reads them again exactly.
  // `parts` is consumed as by read_exact_at.
  [[nodiscard]] std::size_t read_available_at(std::uint64_t offset, std::span<iovec> parts) const noexcept;

 private:
  explicit ArchiveFile(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace dat
