#include "file_type/surface.h"

#include "reader/record_reader.h"

namespace dat {

std::expected<TextureRefs, RecordReadError> TextureRefs::read(ByteCursor& cursor) {
  RecordReader r(cursor, "TextureRefs");
  TextureRefs refs;
  refs.orig_texture_id = r.u32("orig_texture_id");
  refs.orig_palette_id = r.u32("orig_palette_id");
  return r.finish(refs);
}

std::expected<Surface, RecordReadError> Surface::unpack(ByteView bytes) {
  ByteCursor cursor(bytes);
  RecordReader r(cursor, "Surface");
  Surface s;
  s.surface_type = r.u32("surface_type");
  if (s.textured()) {
    s.texture_refs = r.nested<TextureRefs>("texture_refs");
  } else {
    s.color_value = r.u32("color_value");
  }
  s.translucency = r.f32("translucency");
  s.luminosity = r.f32("luminosity");
  s.diffuse = r.f32("diffuse");
  return r.finish(s);
}

}  // namespace dat
