#include "lib/dat_header.h"

#include "reader/record_reader.h"

namespace dat {

std::expected<DatHeader, RecordReadError> DatHeader::read(ByteCursor& cursor) {
  RecordReader r(cursor, "DatHeader");
  DatHeader h;
  h.magic = r.u32("magic");
  h.block_size = r.u32("block_size");
  h.file_size = r.u32("file_size");
  h.dataset = r.u32("dataset");
  h.subset = r.u32("subset");
  h.free_head = r.u32("free_head");
  h.free_tail = r.u32("free_tail");
  h.free_count = r.u32("free_count");
  h.root_offset = r.u32("root_offset");
  h.new_lru = r.u32("new_lru");
  h.old_lru = r.u32("old_lru");
  h.use_lru = r.u32("use_lru");
  h.master_map_id = r.u32("master_map_id");
  h.engine_version = r.u32("engine_version");
  h.game_version = r.u32("game_version");
  h.version_string = r.bytes("version_string", kVersionStringSize);
  h.version_minor = r.u32("version_minor");
  return r.finish(std::move(h));
}

}  // namespace dat
