// What reading every byte of an archive costs at the least without a system call per file:
// maps the archive and copies every block's payload out of the mapping once, in file order,
// into a small reused buffer. No links are followed and nothing is allocated per block, so
// this is a floor for read_all_files on this machine, not a way to read an archive. What it
// costs depends on how the page cache holds the file: in 2 MiB folios one fault maps 2 MiB
// and the copy runs about as fast as cat; in small folios every 64 KiB takes a fault, which
// on a virtual machine whose page tables the hypervisor shadows is dear (2-3x cat here).
//
//   copy_mapped_payloads ARCHIVE.dat

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

#include <fmt/format.h>

#include "utils/bytes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: copy_mapped_payloads ARCHIVE.dat\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 328) {
    std::fprintf(stderr, "copy_mapped_payloads: cannot open %s or it has no header\n", argv[1]);
    return 1;
  }
  const auto length = static_cast<std::size_t>(st.st_size);
  const auto* base = static_cast<const std::uint8_t*>(::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0));
  if (base == MAP_FAILED) {
    std::perror("copy_mapped_payloads: mmap");
    return 1;
  }
  const std::uint32_t block_size = dat::load_u32le(base + 324);  // the header's block_size
  if (block_size <= 4 || block_size > 65536) {
    std::fprintf(stderr, "copy_mapped_payloads: block size %u is not one this floor handles\n", block_size);
    return 1;
  }

  static std::array<std::uint8_t, 1 << 16> buffer;
  std::uint64_t bytes = 0;
  std::uint64_t checksum = 0;  // the bytes are looked at, so no copy can be skipped
  for (std::size_t block = 0; block + block_size <= length; block += block_size) {
    std::memcpy(buffer.data(), base + block + 4, block_size - 4);
    bytes += block_size - 4;
    checksum = checksum * 31 + buffer[0] + buffer[block_size - 5];
  }
  std::printf("%s", fmt::format("{} bytes copied, checksum {:016x}\n", bytes, checksum).c_str());
  return 0;
}
