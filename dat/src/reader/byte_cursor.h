#pragma once

#include <bit>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "error/io_error.h"
#include "utils/bytes.h"

namespace dat {

// The one bounds-checked reader of untrusted bytes: a position over an in-memory view.
// Every read checks `count > remaining()`, which cannot overflow, before touching a byte.
class ByteCursor {
 public:
  // `failure_at_end` stands for an input that stopped early because its source failed
  // (an I/O error while the bytes were fetched); reads past the end report it instead of
  // the plain end-of-data error.
  explicit ByteCursor(ByteView data, std::optional<IoError> failure_at_end = std::nullopt)
      : data_(data), failure_at_end_(std::move(failure_at_end)) {}

  [[nodiscard]] std::size_t position() const noexcept { return position_; }
  [[nodiscard]] std::size_t remaining() const noexcept { return data_.size() - position_; }
  // Moves back to a position already passed; never beyond the end.
  void rewind_to(std::size_t position) noexcept { position_ = position <= data_.size() ? position : data_.size(); }

  [[nodiscard]] std::expected<std::uint8_t, IoError> u8() {
    auto bytes = take(1, IoError::kFillWholeBuffer);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return (*bytes)[0];
  }
  [[nodiscard]] std::expected<std::uint32_t, IoError> u32() {
    auto bytes = take(4, IoError::kFillWholeBuffer);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return load_u32le(bytes->data());
  }
  [[nodiscard]] std::expected<std::int32_t, IoError> i32() {
    auto value = u32();
    if (!value) return std::unexpected(std::move(value.error()));
    return static_cast<std::int32_t>(*value);
  }
  // Bit-exact: NaN payloads come out as stored.
  [[nodiscard]] std::expected<float, IoError> f32() {
    auto value = u32();
    if (!value) return std::unexpected(std::move(value.error()));
    return std::bit_cast<float>(*value);
  }

  // The next `count` bytes as a view into the input; `eof_text` names the failure when
  // fewer remain. Nothing is consumed on failure.
  [[nodiscard]] std::expected<ByteView, IoError> take(std::size_t count, std::string_view eof_text) {
    if (count > remaining()) {
      if (failure_at_end_) return std::unexpected(*failure_at_end_);
      return std::unexpected(IoError::unexpected_eof(eof_text));
    }
    ByteView bytes = data_.subspan(position_, count);
    position_ += count;
    return bytes;
  }

 private:
  ByteView data_;
  std::size_t position_ = 0;
  std::optional<IoError> failure_at_end_;
};

}  // namespace dat
