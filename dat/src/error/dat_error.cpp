#include "error/dat_error.h"

#include <cstdlib>

#include <fmt/format.h>

#include "utils/lossy_utf8.h"

namespace dat {

DatError DatError::io(IoError error) {
  DatError e(Kind::Io);
  e.source_ = std::move(error);
  return e;
}

DatError DatError::bin_read(RecordReadError error) {
  DatError e(Kind::BinRead);
  e.source_ = std::move(error);
  return e;
}

DatError DatError::not_found(std::uint32_t id) {
  DatError e(Kind::NotFound);
  e.id_ = id;
  return e;
}

DatError DatError::duplicate_id(std::uint32_t id) {
  DatError e(Kind::DuplicateId);
  e.id_ = id;
  return e;
}

DatError DatError::duplicate_namespaced_id(std::string name_space, std::uint32_t file_id) {
  DatError e(Kind::DuplicateNamespacedId);
  e.text_ = std::move(name_space);
  e.id_ = file_id;
  return e;
}

DatError DatError::invalid_magic(std::string text) {
  DatError e(Kind::InvalidMagic);
  e.text_ = std::move(text);
  return e;
}

DatError DatError::unsupported_version(std::uint32_t version) {
  DatError e(Kind::UnsupportedVersion);
  e.id_ = version;
  return e;
}

DatError DatError::invalid_namespace(std::string text) {
  DatError e(Kind::InvalidNamespace);
  e.text_ = std::move(text);
  return e;
}

DatError DatError::corruption(std::string text) {
  DatError e(Kind::Corruption);
  e.text_ = std::move(text);
  return e;
}

DatError DatError::decompression_failed(std::uint32_t id) {
  DatError e(Kind::DecompressionFailed);
  e.id_ = id;
  return e;
}

DatError DatError::path_error(std::filesystem::path path, IoError source) {
  DatError e(Kind::PathError);
  e.path_ = std::move(path);
  e.source_ = std::move(source);
  return e;
}

DatError DatError::other(std::string text) {
  DatError e(Kind::Other);
  e.text_ = std::move(text);
  return e;
}

std::string DatError::text() const {
  switch (kind_) {
    case Kind::Io:
      return fmt::format("IO error: {}", io_error()->text());
    case Kind::BinRead:
      return fmt::format("Binary read error: {}", record_error()->text());
    case Kind::NotFound:
      return fmt::format("File ID {:08X} not found in provider", id_);
    case Kind::DuplicateId:
      return fmt::format("Duplicate File ID {:08X} detected", id_);
    case Kind::DuplicateNamespacedId:
      return fmt::format("Duplicate namespaced file {}:{:08X} detected", text_, id_);
    case Kind::InvalidMagic:
      return fmt::format("Invalid magic for format: {}", text_);
    case Kind::UnsupportedVersion:
      return fmt::format("Unsupported version: {}", id_);
    case Kind::InvalidNamespace:
      return fmt::format("Invalid namespace: {}", text_);
    case Kind::Corruption:
      return fmt::format("Corruption detected: {}", text_);
    case Kind::DecompressionFailed:
      return fmt::format("Failed to recover compressed file {:08X}", id_);
    case Kind::PathError:
      return fmt::format("Failed to open file at {}: {}", lossy_utf8(path_.native()), io_error()->text());
    case Kind::Other:
      return fmt::format("Other error: {}", text_);
  }
  std::abort();
}

std::vector<std::string> DatError::causes() const {
  switch (kind_) {
    case Kind::Io:
    case Kind::PathError:
      return {io_error()->text()};
    case Kind::BinRead:
      return {record_error()->text()};
    case Kind::NotFound:
    case Kind::DuplicateId:
    case Kind::DuplicateNamespacedId:
    case Kind::InvalidMagic:
    case Kind::UnsupportedVersion:
    case Kind::InvalidNamespace:
    case Kind::Corruption:
    case Kind::DecompressionFailed:
    case Kind::Other:
      return {};
  }
  std::abort();
}

std::string DatError::debug() const {
  switch (kind_) {
    case Kind::Io:
      return fmt::format("Io({:?})", io_error()->text());
    case Kind::BinRead:
      return fmt::format("BinRead({:?})", record_error()->text());
    case Kind::NotFound:
      return fmt::format("NotFound({})", id_);
    case Kind::DuplicateId:
      return fmt::format("DuplicateId({})", id_);
    case Kind::DuplicateNamespacedId:
      return fmt::format("DuplicateNamespacedId {{ namespace: {:?}, file_id: {} }}", text_, id_);
    case Kind::InvalidMagic:
      return fmt::format("InvalidMagic({:?})", text_);
    case Kind::UnsupportedVersion:
      return fmt::format("UnsupportedVersion({})", id_);
    case Kind::InvalidNamespace:
      return fmt::format("InvalidNamespace({:?})", text_);
    case Kind::Corruption:
      return fmt::format("Corruption({:?})", text_);
    case Kind::DecompressionFailed:
      return fmt::format("DecompressionFailed({})", id_);
    case Kind::PathError:
      return fmt::format("PathError {{ path: {:?}, source: {:?} }}", lossy_utf8(path_.native()),
                         io_error()->text());
    case Kind::Other:
      return fmt::format("Other({:?})", text_);
  }
  std::abort();
}

}  // namespace dat
