// Runs a fuzz harness without libFuzzer, so its seeds and regression inputs are ordinary
// tests under any compiler: each argument is an input file or a directory of them (a
// directory without any file is an error, so a corpus that was never made cannot pass).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& path) {
  // Named before it runs, so a crash's output says which input it was.
  std::printf("replay: %s\n", path.c_str());
  std::fflush(stdout);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<std::uint8_t> bytes(raw.begin(), raw.end());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    std::error_code error;
    if (!std::filesystem::is_directory(arg, error)) {
      if (!replay(arg)) return 1;
      ++count;
      continue;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    if (error || files.empty()) {
      std::fprintf(stderr, "replay: no input files in %s\n", arg.c_str());
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (!replay(file)) return 1;
      ++count;
    }
  }
  std::printf("replay: %zu inputs ran cleanly\n", count);
  return 0;
}
