#pragma once

#include <expected>
#include <filesystem>
#include <string>

#include "huemark/colour.h"
#include "huemark/run_error.h"
#include "huemark/status_line.h"

namespace huemark {

// The file's exact text: "{", one `  "0xXXXXXXXX": [r, g, b]` line per entry in id
// order with commas between, "}", each line ending in a line feed.
[[nodiscard]] std::string colour_map_json(const ColourMap& map);

// Creates the parent directory of `out` as needed, replaces `out` with the map's JSON
// and reports "wrote <out> (<size> KB)" on `status`.
//
// The text goes to a temporary file beside the destination first and is renamed over it
// only when complete, so a web app reading `out` sees the previous file or the new one,
// never a part. When `out` is a symbolic link, the file it points to is replaced and the
// link stays. Something other than a regular file at `out` (a FIFO, a device, a pipe
// reached through /dev/stdout) is opened and written in place instead.
[[nodiscard]] std::expected<void, RunError> write_colour_map(const ColourMap& map, const std::filesystem::path& out,
                                                             const StatusSink& status);

}  // namespace huemark
