// Opens the input as a whole archive and reads every file its directory lists.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "lib/dat_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader takes a path; a memfd gives one without touching the disk.
  const int fd = memfd_create("archive_fuzzer", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  for (std::size_t written = 0; written < size;) {
    const ssize_t got = write(fd, data + written, size - written);
    if (got <= 0) std::abort();
    written += static_cast<std::size_t>(got);
  }
  if (auto db = dat::DatDatabase::open("/proc/self/fd/" + std::to_string(fd))) {
    for (const auto& [id, entry] : db->files()) {
      const auto file = db->get_file(id);
      // Stored bytes come back exactly as many as the entry names.
      if (file && !entry.compressed() && file->size() != entry.size) std::abort();
    }
  }
  close(fd);
  return 0;
}
