#include "file_type/palette.h"

#include "reader/record_reader.h"

namespace dat {

std::expected<Palette, RecordReadError> Palette::unpack(ByteView bytes) {
  ByteCursor cursor(bytes);
  RecordReader r(cursor, "Palette");
  Palette p;
  p.id = r.u32("id");
  p.colors = r.u32_list("colors");
  return r.finish(std::move(p));
}

}  // namespace dat
