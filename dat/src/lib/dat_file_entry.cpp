#include "lib/dat_file_entry.h"

#include "reader/record_reader.h"

namespace dat {

std::expected<DatFileEntry, RecordReadError> DatFileEntry::read(ByteCursor& cursor) {
  RecordReader r(cursor, "DatFileEntry");
  DatFileEntry entry;
  entry.bit_flags = r.u32("bit_flags");
  entry.id = r.u32("id");
  entry.offset = r.u32("offset");
  entry.size = r.u32("size");
  entry.timestamp = r.u32("timestamp");
  entry.version = r.u32("version");
  return r.finish(entry);
}

}  // namespace dat
