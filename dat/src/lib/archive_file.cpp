#include "lib/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace dat {

std::expected<ArchiveFile, IoError> ArchiveFile::open(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return ArchiveFile(fd);
}

ArchiveFile& ArchiveFile::operator=(ArchiveFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ArchiveFile::~ArchiveFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::expected<void, IoError> ArchiveFile::seek(std::uint64_t offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return std::unexpected(IoError::from_errno(errno));
  return {};
}

ArchiveFile::PartialRead ArchiveFile::read_some(std::span<std::uint8_t> out) {
  PartialRead result;
  while (result.count < out.size()) {
    const ssize_t got = ::read(fd_, out.data() + result.count, out.size() - result.count);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.failure = IoError::from_errno(errno);
      break;
    }
    if (got == 0) break;
    result.count += static_cast<std::size_t>(got);
  }
  return result;
}

std::expected<std::uint64_t, IoError> ArchiveFile::length() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return std::unexpected(IoError::from_errno(errno));
  return static_cast<std::uint64_t>(st.st_size);
}

namespace {

// Drops the first `count` bytes of `parts`, and the buffers that then want nothing.
void consume(std::span<iovec>& parts, std::size_t count) noexcept {
  while (!parts.empty() && count >= parts.front().iov_len) {
    count -= parts.front().iov_len;
    parts = parts.subspan(1);
  }
  if (count > 0) {
    parts.front().iov_base = static_cast<std::uint8_t*>(parts.front().iov_base) + count;
    parts.front().iov_len -= count;
  }
  while (!parts.empty() && parts.front().iov_len == 0) parts = parts.subspan(1);
}

// One preadv of as many of `parts` as it takes at once.
ssize_t preadv_some(int fd, std::span<iovec> parts, std::uint64_t offset) noexcept {
  const int count = static_cast<int>(std::min<std::size_t>(parts.size(), IOV_MAX));
  return ::preadv(fd, parts.data(), count, static_cast<off_t>(offset));
}

}  // namespace

std::expected<void, IoError> ArchiveFile::read_exact_at(std::uint64_t offset, std::span<iovec> parts) const {
  consume(parts, 0);  // skip buffers that want nothing, so the loop below only sees real work
  while (!parts.empty()) {
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) {
      return std::unexpected(IoError::unexpected_eof(IoError::kFillWholeBuffer));
    }
    const ssize_t got = preadv_some(fd_, parts, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(IoError::from_errno(errno));
    }
    if (got == 0) return std::unexpected(IoError::unexpected_eof(IoError::kFillWholeBuffer));
    offset += static_cast<std::uint64_t>(got);
    consume(parts, static_cast<std::size_t>(got));
  }
  return {};
}

std::size_t ArchiveFile::read_available_at(std::uint64_t offset, std::span<iovec> parts) const noexcept {
  std::size_t total = 0;
  consume(parts, 0);
  while (!parts.empty() && offset <= static_cast<std::uint64_t>(LLONG_MAX)) {
    const ssize_t got = preadv_some(fd_, parts, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    offset += static_cast<std::uint64_t>(got);
    total += static_cast<std::size_t>(got);
    consume(parts, static_cast<std::size_t>(got));
  }
  return total;
}

std::expected<void, IoError> ArchiveFile::read_exact_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  iovec part{out.data(), out.size()};
  return read_exact_at(offset, std::span<iovec>(&part, 1));
}

}  // namespace dat
