#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "error/record_read_error.h"
#include "reader/byte_cursor.h"
#include "utils/bytes.h"

namespace dat {

// Reads one record's fields in file order from a ByteCursor. A record decoder declares
// its fields as calls on this reader, one line per field:
//
//   RecordReader r(cursor, "Surface");
//   surface.surface_type = r.u32("surface_type");
//
// The first failing field is remembered together with a "While parsing field ..." frame
// located at that line, and the cursor goes back to where the record began; later calls
// read nothing and return zero values. finish() hands back the record or that failure.
class RecordReader {
 public:
  using Where = std::source_location;

  RecordReader(ByteCursor& cursor, std::string_view record_name)
      : cursor_(cursor), record_name_(record_name), start_(cursor.position()) {}

  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  std::uint8_t u8(std::string_view field, Where where = Where::current());
  std::uint32_t u32(std::string_view field, Where where = Where::current());
  std::int32_t i32(std::string_view field, Where where = Where::current());
  float f32(std::string_view field, Where where = Where::current());

  // Exactly `count` bytes, copied once into an owned buffer after the length is checked.
  Bytes bytes(std::string_view field, std::size_t count, Where where = Where::current());

  // A list stored as a signed 32-bit count followed by that many little-endian u32 values.
  // The count, a negative count and every entry fail under the list's own field name.
  std::vector<std::uint32_t> u32_list(std::string_view field, Where where = Where::current());

  // A nested record with its own name: Nested::read(ByteCursor&) returns
  // std::expected<Nested, RecordReadError>; a failure gets this field's frame on top.
  template <class Nested>
  std::optional<Nested> nested(std::string_view field, Where where = Where::current()) {
    if (failure_) return std::nullopt;
    auto value = Nested::read(cursor_);
    if (!value) {
      fail_field(std::move(value.error()), field, where);
      return std::nullopt;
    }
    return std::move(*value);
  }

  // Fails the record with an assertion at the current position and no frame, as a
  // value that was read whole but cannot be used.
  void fail_assertion(std::string message);

  [[nodiscard]] bool ok() const noexcept { return !failure_.has_value(); }

  template <class Record>
  [[nodiscard]] std::expected<Record, RecordReadError> finish(Record record) {
    if (failure_) return std::unexpected(std::move(*failure_));
    return record;
  }

 private:
  void fail_field(RecordReadError error, std::string_view field, const Where& where);
  void fail(RecordReadError error);

  ByteCursor& cursor_;
  std::string_view record_name_;
  std::size_t start_;
  std::optional<RecordReadError> failure_;
};

}  // namespace dat
