#include "reader/record_reader.h"

#include <fmt/format.h>

namespace dat {

static_assert(sizeof(std::size_t) >= 8, "list sizes are computed in size_t without overflow checks");

std::uint8_t RecordReader::u8(std::string_view field, Where where) {
  if (failure_) return 0;
  auto value = cursor_.u8();
  if (!value) {
    fail_field(RecordReadError(std::move(value.error())), field, where);
    return 0;
  }
  return *value;
}

std::uint32_t RecordReader::u32(std::string_view field, Where where) {
  if (failure_) return 0;
  auto value = cursor_.u32();
  if (!value) {
    fail_field(RecordReadError(std::move(value.error())), field, where);
    return 0;
  }
  return *value;
}

std::int32_t RecordReader::i32(std::string_view field, Where where) {
  return static_cast<std::int32_t>(u32(field, where));
}

float RecordReader::f32(std::string_view field, Where where) {
  return std::bit_cast<float>(u32(field, where));
}

Bytes RecordReader::bytes(std::string_view field, std::size_t count, Where where) {
  if (failure_) return {};
  auto view = cursor_.take(count, IoError::kNotEnoughBytes);
  if (!view) {
    fail_field(RecordReadError(std::move(view.error())), field, where);
    return {};
  }
  return Bytes(view->begin(), view->end());
}

std::vector<std::uint32_t> RecordReader::u32_list(std::string_view field, Where where) {
  if (failure_) return {};
  auto count = cursor_.i32();
  if (!count) {
    fail_field(RecordReadError(std::move(count.error())), field, where);
    return {};
  }
  if (*count < 0) {
    fail_field(RecordReadError(AssertionFailure{fmt::format("count {} out of range of usize", *count),
                                                cursor_.position()}),
               field, where);
    return {};
  }
  // Check the whole list against the input before reserving room for it, so a corrupt
  // count never allocates more than the input can hold.
  const auto entries = static_cast<std::size_t>(*count);
  auto view = cursor_.take(entries * 4, IoError::kFillWholeBuffer);
  if (!view) {
    fail_field(RecordReadError(std::move(view.error())), field, where);
    return {};
  }
  std::vector<std::uint32_t> list;
  list.reserve(entries);
  for (std::size_t i = 0; i < entries; ++i) list.push_back(load_u32le(view->data() + 4 * i));
  return list;
}

void RecordReader::fail_assertion(std::string message) {
  if (failure_) return;
  fail(RecordReadError(AssertionFailure{std::move(message), cursor_.position()}));
}

void RecordReader::fail_field(RecordReadError error, std::string_view field, const Where& where) {
  error.push_frame(LocatedFrame{fmt::format("While parsing field '{}' in {}", field, record_name_),
                                where.file_name(), static_cast<std::uint32_t>(where.line())});
  fail(std::move(error));
}

void RecordReader::fail(RecordReadError error) {
  // In-memory cursors always rewind; the record leaves its input where it found it.
  cursor_.rewind_to(start_);
  failure_ = std::move(error);
}

}  // namespace dat
