#include "huemark/colour_map_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <random>
#include <string_view>

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

// `out` without its last component. Trailing separators do not make an empty last
// component: the parent of "x/y/" is "x", as it is for "x/y". "/" has none.
std::filesystem::path parent_of(const std::filesystem::path& out) {
  std::string_view text = out.native();
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  if (text == "/") return {};
  return std::filesystem::path(text).parent_path();
}

// Follows `out` through symbolic links to the file that should be replaced. A loop, or
// any chain longer than the 40 links the system follows, fails as opening it would
// rather than having its last link replaced by a file.
std::expected<std::filesystem::path, int> replacement_target(const std::filesystem::path& out) {
  std::filesystem::path target = out;
  for (int hops = 0;; ++hops) {
    std::error_code ec;
    const std::filesystem::path link = std::filesystem::read_symlink(target, ec);
    if (ec) return target;
    if (hops == 40) return std::unexpected(ELOOP);
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
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

// Writes `text` to a new file beside `target` and renames it over `target`, with the
// permission bits of the file it replaces, if any (rewriting a file in place would keep
// them). Returns 0 or an errno value; on failure no temporary file is left behind.
int replace_file(const std::filesystem::path& target, const std::string& text, std::optional<mode_t> replaced_mode) {
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
  if (replaced_mode && ::fchmod(fd, *replaced_mode & 07777) != 0) error = errno;
  if (error == 0) error = write_all(fd, text);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temp.c_str());
  return error;
}

int write_in_place(const std::filesystem::path& out, const std::string& text) {
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error = write_all(fd, text);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// Puts `text` at `out`. Returns 0 or an errno value.
//
// A regular file, or a name with nothing behind it yet, is replaced whole. Anything else
// is opened and written like any output: renaming over a FIFO or a device would destroy
// it (as root, `--out /dev/null` would replace the system's /dev/null), and a pipe behind
// /dev/stdout has no name to rename over. A directory, a name ending in a separator or
// a path the system cannot follow fails there with the error opening it gives.
int write_output(const std::filesystem::path& out, const std::string& text) {
  struct stat st {};
  std::optional<mode_t> replaced_mode;
  if (::stat(out.c_str(), &st) != 0) {
    if (errno != ENOENT || out.native().ends_with('/')) return write_in_place(out, text);
  } else if (!S_ISREG(st.st_mode)) {
    return write_in_place(out, text);
  } else {
    // The rename needs only the directory to be writable; a file the user may not write
    // must not be replaced behind its permissions.
    const int fd = ::open(out.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    replaced_mode = st.st_mode;
  }
  const auto target = replacement_target(out);
  if (!target) return target.error();
  return replace_file(*target, text, replaced_mode);
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
  const std::filesystem::path parent = parent_of(out);
  if (const int error = create_dir_all(parent); error != 0) {
    return std::unexpected(os_error(fmt::format("create dir {}", path_text(parent)), error));
  }

  const std::string text = colour_map_json(map);
  if (const int error = write_output(out, text); error != 0) {
    return std::unexpected(os_error(fmt::format("write {}", path_text(out)), error));
  }

  double kb = 0.0;
  struct stat st {};
  if (::stat(out.c_str(), &st) == 0) kb = static_cast<double>(st.st_size) * (1.0 / 1024.0);
  status(fmt::format("wrote {} ({:.1f} KB)", path_text(out), kb));
  return {};
}

}  // namespace huemark
