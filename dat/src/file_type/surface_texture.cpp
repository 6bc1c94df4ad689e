#include "file_type/surface_texture.h"

#include "reader/record_reader.h"

namespace dat {

std::expected<SurfaceTexture, RecordReadError> SurfaceTexture::unpack(ByteView bytes) {
  ByteCursor cursor(bytes);
  RecordReader r(cursor, "SurfaceTexture");
  SurfaceTexture t;
  t.id = r.u32("id");
  t.unknown_int = r.u32("unknown_int");
  t.unknown_byte = r.u8("unknown_byte");
  t.textures = r.u32_list("textures");
  return r.finish(std::move(t));
}

}  // namespace dat
