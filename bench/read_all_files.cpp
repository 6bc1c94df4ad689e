// Reads every file of an archive through get_file, in ascending id order, and prints how
// many files and bytes came back: the archive reader's share of a huemark run, on its own.
//
//   read_all_files ARCHIVE.dat

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "lib/dat_database.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read_all_files ARCHIVE.dat\n");
    return 2;
  }
  auto db = dat::DatDatabase::open(argv[1]);
  if (!db) {
    std::fprintf(stderr, "%s", fmt::format("read_all_files: {}\n", db.error().text()).c_str());
    return 1;
  }
  std::vector<std::uint32_t> ids;
  ids.reserve(db->files().size());
  for (const auto& [id, entry] : db->files()) ids.push_back(id);
  std::sort(ids.begin(), ids.end());

  std::uint64_t bytes = 0;
  std::uint64_t checksum = 0;  // the bytes are looked at, so no read can be skipped
  std::size_t failed = 0;
  for (const std::uint32_t id : ids) {
    const auto data = db->get_file(id);
    if (!data) {
      ++failed;
      continue;
    }
    bytes += data->size();
    if (!data->empty()) checksum = checksum * 31 + data->front() + data->back();
  }
  std::printf("%s", fmt::format("{} files, {} bytes, {} failed, checksum {:016x}\n", ids.size(), bytes, failed,
                                checksum)
                        .c_str());
  return failed == 0 ? 0 : 1;
}
