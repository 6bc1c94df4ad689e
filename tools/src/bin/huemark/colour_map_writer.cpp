#include "huemark/colour_map_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>

#include <fmt/format.h>

#include "error/io_error.h"
#include "utils/lossy_utf8.h"

namespace huemark {
namespace {

using dat::IoError;

std::string path_text(const std::filesystem::path& path) { return dat::lossy_utf8(path.native()); }

RunError os_error(std::string context, int code) {
  return RunError{std::move(context), {IoError::from_errno(code).text()}};
}

bool names_directory(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int make_directory(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  return errno;
}

// Creates `dir` and every missing ancestor (mode 0777, under the process's mask). A
// directory that exists already is fine; anything else that stands in the way fails
// with the system's error for it. Returns 0 or an errno value.
int create_dir_all(const std::filesystem::path& dir) {
  if (dir.empty()) return 0;
  int error = make_directory(dir);
  if (error == 0) return 0;
  if (error != ENOENT) return names_directory(dir) ? 0 : error;
  const std::filesystem::path parent = dir.parent_path();
  if (parent == dir) return error;
  if (const int parent_error = create_dir_all(parent); parent_error != 0) return parent_error;
  error = make_directory(dir);
  if (error == 0 || names_directory(dir)) return 0;
  return error;
}

// Follows `out` through symbolic links to the file that should be replaced.
std::filesystem::path replacement_target(const std::filesystem::path& out) {
  std::filesystem::path target = out;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    const std::filesystem::path link = std::filesystem::read_symlink(target, ec);
    if (ec) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return target;
}

int write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(wrote);
  }
  return 0;
}

// Writes `text` to a new file beside `target` and renames it over `target`. Returns 0 or
// an errno value; on failure no temporary file is left behind.
int replace_file(const std::filesystem::path& target, const std::string& text) {
  std::filesystem::path dir = target.parent_path();
  const std::string base = target.filename().native();
  std::random_device entropy;
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
    temp = dir / fmt::format(".{}.{:08x}.tmp", base, entropy());
    // 0666 under the process's mask, as a freshly created output file would get.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;

  int error = 0;
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    // Rewriting a file in place keeps its permissions; so does replacing it.
    if (::fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
  }
  if (error == 0) error = write_all(fd, text);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

}  // namespace

std::string colour_map_json(const ColourMap& map) {
  std::string text;
  // The longest entry line is 33 bytes; 36 per entry leaves room for the braces.
  text.reserve(36 * map.size());
  text += "{\n";
  std::size_t left = map.size();
  for (const auto& [id, colour] : map) {
    --left;
    fmt::format_to(std::back_inserter(text), "  \"0x{:08X}\": [{}, {}, {}]{}\n", id, colour.r, colour.g, colour.b,
                   left > 0 ? "," : "");
  }
  text += "}\n";
  return text;
}

std::expected<void, RunError> write_colour_map(const ColourMap& map, const std::filesystem::path& out,
                                               const StatusSink& status) {
  const std::filesystem::path parent = out.parent_path();
  if (const int error = create_dir_all(parent); error != 0) {
    return std::unexpected(os_error(fmt::format("create dir {}", path_text(parent)), error));
  }

  const std::string text = colour_map_json(map);
  if (const int error = replace_file(replacement_target(out), text); error != 0) {
    return std::unexpected(os_error(fmt::format("write {}", path_text(out)), error));
  }

  double kb = 0.0;
  struct stat st {};
  if (::stat(out.c_str(), &st) == 0) kb = static_cast<double>(st.st_size) * (1.0 / 1024.0);
  status(fmt::format("wrote {} ({:.1f} KB)", path_text(out), kb));
  return {};
}

}  // namespace huemark
