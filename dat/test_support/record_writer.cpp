#include "record_writer.h"

#include <bit>

namespace dat::testing {

ByteWriter& ByteWriter::u8(std::uint8_t value) {
  data_.push_back(value);
  return *this;
}

ByteWriter& ByteWriter::u16(std::uint16_t value) {
  data_.push_back(static_cast<std::uint8_t>(value));
  data_.push_back(static_cast<std::uint8_t>(value >> 8));
  return *this;
}

ByteWriter& ByteWriter::u32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) data_.push_back(static_cast<std::uint8_t>(value >> shift));
  return *this;
}

ByteWriter& ByteWriter::f32(float value) { return u32(std::bit_cast<std::uint32_t>(value)); }

ByteWriter& ByteWriter::bytes(ByteView data) {
  data_.insert(data_.end(), data.begin(), data.end());
  return *this;
}

ByteWriter& ByteWriter::raw(std::initializer_list<std::uint8_t> data) {
  data_.insert(data_.end(), data);
  return *this;
}

ByteWriter& ByteWriter::fill(std::size_t count, std::uint8_t value) {
  data_.insert(data_.end(), count, value);
  return *this;
}

Bytes solid_surface(std::uint32_t color_value, std::uint32_t surface_type) {
  return ByteWriter().u32(surface_type).u32(color_value).f32(0.0f).f32(1.0f).f32(0.5f).take();
}

Bytes textured_surface(std::uint32_t orig_texture_id, std::uint32_t orig_palette_id, std::uint32_t surface_type) {
  return ByteWriter()
      .u32(surface_type)
      .u32(orig_texture_id)
      .u32(orig_palette_id)
      .f32(0.0f)
      .f32(1.0f)
      .f32(0.5f)
      .take();
}

Bytes surface_texture(std::uint32_t id, const std::vector<std::uint32_t>& textures) {
  ByteWriter w;
  w.u32(id).u32(0).u8(2).i32(static_cast<std::int32_t>(textures.size()));
  for (const std::uint32_t texture_id : textures) w.u32(texture_id);
  return w.take();
}

Bytes texture(std::uint32_t id, std::int32_t width, std::int32_t height, std::uint32_t format_raw, ByteView source,
              std::optional<std::uint32_t> default_palette_id) {
  ByteWriter w;
  w.u32(id).u32(0).i32(width).i32(height).u32(format_raw).i32(static_cast<std::int32_t>(source.size())).bytes(source);
  if (default_palette_id) w.u32(*default_palette_id);
  return w.take();
}

Bytes palette(std::uint32_t id, const std::vector<std::uint32_t>& colors) {
  ByteWriter w;
  w.u32(id).i32(static_cast<std::int32_t>(colors.size()));
  for (const std::uint32_t colour : colors) w.u32(colour);
  return w.take();
}

}  // namespace dat::testing
