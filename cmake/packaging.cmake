# Installation of the man page and the Debian package. The huemark binary's own install rule sits
# beside its target in tools/CMakeLists.txt; tests, test support, the demo-archive maker and the
# benchmarks have none, so neither `cmake --install` nor the package carries them.

find_program(HUEMARK_GZIP gzip REQUIRED)

# Debian installs man pages gzipped. -n leaves the name and time stamp out of the gzip header, so
# the same page compresses to the same bytes on every build.
set(HUEMARK_MAN_PAGE "${PROJECT_SOURCE_DIR}/docs/huemark.1")
set(HUEMARK_MAN_PAGE_GZ "${PROJECT_BINARY_DIR}/docs/huemark.1.gz")
add_custom_command(
  OUTPUT "${HUEMARK_MAN_PAGE_GZ}"
  COMMAND "${CMAKE_COMMAND}" -E copy "${HUEMARK_MAN_PAGE}" "${PROJECT_BINARY_DIR}/docs/huemark.1"
  COMMAND "${HUEMARK_GZIP}" -9nf "${PROJECT_BINARY_DIR}/docs/huemark.1"
  DEPENDS "${HUEMARK_MAN_PAGE}"
  COMMENT "Compressing the man page"
  VERBATIM)
add_custom_target(huemark_man_page ALL DEPENDS "${HUEMARK_MAN_PAGE_GZ}")
install(FILES "${HUEMARK_MAN_PAGE_GZ}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

if(HUEMARK_BUILD_TESTS)
  # Installs into a stage directory under the build tree and checks what landed there; it needs
  # neither root nor a package manager.
  add_test(NAME install_tree
    COMMAND "${CMAKE_COMMAND}"
      -D "BUILD_DIR=${PROJECT_BINARY_DIR}"
      -D "STAGE=${PROJECT_BINARY_DIR}/install-check"
      -D "MAN_PAGE=${HUEMARK_MAN_PAGE}"
      -D "GZIP=${HUEMARK_GZIP}"
      -P "${PROJECT_SOURCE_DIR}/cmake/check_install.cmake")

  # groff-base comes with every standard Debian system; a machine without it skips the check
  # rather than failing on a tool the build does not need.
  find_program(HUEMARK_GROFF groff)
  if(HUEMARK_GROFF)
    # -ww turns on every warning and -z throws the rendering away, so any output is a fault
    # in the page.
    add_test(NAME man_page_renders_cleanly
      COMMAND "${HUEMARK_GROFF}" -k -man -Tutf8 -ww -z "${HUEMARK_MAN_PAGE}")
    set_tests_properties(man_page_renders_cleanly PROPERTIES FAIL_REGULAR_EXPRESSION ".")
  else()
    add_test(NAME man_page_renders_cleanly
      COMMAND "${CMAKE_COMMAND}" -E echo "groff is not installed (apt-get install groff-base)")
    set_tests_properties(man_page_renders_cleanly PROPERTIES SKIP_REGULAR_EXPRESSION "not installed")
  endif()
endif()

set(CPACK_PACKAGE_NAME huemark)
set(CPACK_PACKAGE_VENDOR "huemark developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "per-surface colour map from a game client's portal archive")
# Debian wants the long description in lines of under 80 columns; CPack keeps line breaks as given.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "huemark reads a game client's portal archive (client_portal.dat), finds every"
  "surface in it and resolves each to one RGB colour: the surface's own solid"
  "colour, or the dominant colour of the texture it is mapped with (direct"
  "colour, palettised or DXT1/DXT3/DXT5 block-compressed). It writes the colours"
  "as a JSON map, keyed by surface id, for a web runtime to fetch.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(HUEMARK_PACKAGE_MAINTAINER "huemark developers <huemark@mirewold.invalid>"
  CACHE STRING "Maintainer field of the Debian package: Name <address>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${HUEMARK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps works out the Depends line (libc6, libstdc++6, libfmt9, ...) from the binary, so
# it follows whatever the build machine links against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

include(CPack)
