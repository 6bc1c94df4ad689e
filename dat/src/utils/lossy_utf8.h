#pragma once

#include <string>
#include <string_view>

namespace dat {

// Returns `bytes` as UTF-8 text, with every ill-formed sequence replaced by U+FFFD.
// Each maximal ill-formed subpart becomes one replacement character, so a truncated
// multi-byte sequence shows as one U+FFFD and a stray continuation byte as one more.
[[nodiscard]] std::string lossy_utf8(std::string_view bytes);

}  // namespace dat
