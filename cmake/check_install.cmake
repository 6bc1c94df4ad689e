# Installs the build tree into STAGE with DESTDIR, as the Debian package does, and fails unless
# exactly the binary and the man page land there, the binary runs, and the page is the source's.
#
#   cmake -D BUILD_DIR=... -D STAGE=... -D MAN_PAGE=docs/huemark.1 -D GZIP=gzip -P check_install.cmake

foreach(var BUILD_DIR STAGE MAN_PAGE GZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_install.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${STAGE}" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

# The whole list, not a lookup of the wanted files: a test program or the demo-archive maker that
# gains an install rule must show up here.
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${STAGE}" "${STAGE}/*")
list(SORT installed)
set(expected usr/bin/huemark usr/share/man/man1/huemark.1.gz)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installed_lines "${installed}")
  string(REPLACE ";" "\n  " expected_lines "${expected}")
  message(FATAL_ERROR "installed files:\n  ${installed_lines}\nexpected:\n  ${expected_lines}")
endif()

set(binary "${STAGE}/usr/bin/huemark")
execute_process(COMMAND "${binary}" --help
  RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE help_error)
if(NOT status EQUAL 0 OR NOT help_error STREQUAL "" OR NOT help MATCHES "--portal-dat")
  message(FATAL_ERROR "the installed huemark --help exited with ${status}\n"
    "standard output:\n${help}\nstandard error:\n${help_error}")
endif()

# Every option the binary offers must be in the man page, where roff spells "-" as "\-".
string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
list(REMOVE_DUPLICATES options)
file(READ "${MAN_PAGE}" page)
string(REPLACE "\\-" "-" page "${page}")
foreach(option IN LISTS options)
  string(FIND "${page}" "${option}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "huemark --help offers ${option}, which ${MAN_PAGE} does not describe")
  endif()
endforeach()

# A gzip header stores the file name only when flag bit 3 is set, and the time stamp in bytes 4-7.
set(page_gz "${STAGE}/usr/share/man/man1/huemark.1.gz")
file(READ "${page_gz}" header LIMIT 8 HEX)
string(SUBSTRING "${header}" 6 2 flags)
string(SUBSTRING "${header}" 8 8 mtime)
math(EXPR has_name "0x${flags} & 8")
if(NOT has_name EQUAL 0 OR NOT mtime STREQUAL "00000000")
  message(FATAL_ERROR "${page_gz} carries a file name or time stamp (gzip header ${header}); compress with gzip -n")
endif()
execute_process(COMMAND "${GZIP}" -dc "${page_gz}"
  RESULT_VARIABLE status OUTPUT_FILE "${STAGE}/huemark.1" ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${page_gz} does not decompress:\n${output}")
endif()
file(SHA256 "${STAGE}/huemark.1" installed_sum)
file(SHA256 "${MAN_PAGE}" source_sum)
if(NOT installed_sum STREQUAL source_sum)
  message(FATAL_ERROR "${page_gz} is not a compressed copy of ${MAN_PAGE}")
endif()

file(REMOVE_RECURSE "${STAGE}")
