#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "error/io_error.h"
#include "error/record_read_error.h"

namespace dat {

// The archive reader's error value. The kinds form a closed set; every kind has one
// fixed text (text()) and at most one underlying cause (causes()).
class [[nodiscard]] DatError {
 public:
  enum class Kind {
    Io,                     // a file operation failed; cause: the I/O error
    BinRead,                // a header or directory field could not be read; cause: the record error
    NotFound,               // no directory entry has the requested id
    DuplicateId,            // (not raised by this reader) an id occurs twice
    DuplicateNamespacedId,  // (not raised by this reader) a namespaced id occurs twice
    InvalidMagic,           // (not raised by this reader) the archive's magic is wrong
    UnsupportedVersion,     // (not raised by this reader) the archive's version is unknown
    InvalidNamespace,       // (not raised by this reader) an unknown namespace was named
    Corruption,             // the archive's structure is damaged beyond reading
    DecompressionFailed,    // (not raised by this reader) a compressed file cannot be expanded
    PathError,              // the archive file cannot be opened; cause: the I/O error
    Other,                  // anything else
  };

  [[nodiscard]] static DatError io(IoError error);
  [[nodiscard]] static DatError bin_read(RecordReadError error);
  [[nodiscard]] static DatError not_found(std::uint32_t id);
  [[nodiscard]] static DatError duplicate_id(std::uint32_t id);
  [[nodiscard]] static DatError duplicate_namespaced_id(std::string name_space, std::uint32_t file_id);
  [[nodiscard]] static DatError invalid_magic(std::string text);
  [[nodiscard]] static DatError unsupported_version(std::uint32_t version);
  [[nodiscard]] static DatError invalid_namespace(std::string text);
  [[nodiscard]] static DatError corruption(std::string text);
  [[nodiscard]] static DatError decompression_failed(std::uint32_t id);
  [[nodiscard]] static DatError path_error(std::filesystem::path path, IoError source);
  [[nodiscard]] static DatError other(std::string text);

  [[nodiscard]] Kind kind() const noexcept { return kind_; }
  // The display text, e.g. "File ID 0800012A not found in provider".
  [[nodiscard]] std::string text() const;
  // The texts of the chain of causes below this error, outermost first.
  [[nodiscard]] std::vector<std::string> causes() const;
  // The kind's name with its payload, for diagnostics.
  [[nodiscard]] std::string debug() const;

  // Payload accessors; each is meaningful only for the kinds that carry it.
  [[nodiscard]] std::uint32_t id() const noexcept { return id_; }
  [[nodiscard]] const std::string& message() const noexcept { return text_; }
  [[nodiscard]] const IoError* io_error() const noexcept { return std::get_if<IoError>(&source_); }
  [[nodiscard]] const RecordReadError* record_error() const noexcept {
    return std::get_if<RecordReadError>(&source_);
  }

 private:
  explicit DatError(Kind kind) : kind_(kind) {}

  Kind kind_;
  std::uint32_t id_ = 0;          // NotFound, DuplicateId, DuplicateNamespacedId, UnsupportedVersion, DecompressionFailed
  std::string text_;              // namespace or free text
  std::filesystem::path path_;    // PathError
  std::variant<std::monostate, IoError, RecordReadError> source_;  // Io, PathError; BinRead
};

}  // namespace dat
