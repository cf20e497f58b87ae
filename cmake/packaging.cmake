# Installation and packages. `cmake --install` puts the program in bin/, the
# manual page in share/man/man1/, and the README, the JSON reference, the
# licence and the notices of the libraries built into the program in
# share/doc/quorvane/; `cpack` in the build folder turns the same rules into a
# Debian package (Linux) or a zip (Windows).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The Quorvane developers")
set(CPACK_PACKAGE_CONTACT "Quorvane developers <developers@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measure how precisely this machine sleeps for 1 ms")
set(CPACK_PACKAGE_DESCRIPTION [[
Quorvane is an interactive terminal program. A background thread at top
priority waits for one millisecond again and again, by the system's sleep,
a busy-wait on the high-resolution counter or a one-shot kernel timer,
times every wait in microseconds and keeps the newest 500. The screen shows
their statistics, a histogram under a selectable filter and the timer
resolution, which the arrow keys change.

With --report it measures without the interface and prints a table or a
JSON document, for scripts and continuous integration.]])
set(CPACK_STRIP_FILES ON)
# One package holding exactly the components listed below, nothing else.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

if(WIN32)
  # One folder to unzip: the exe with the README, the JSON reference, the
  # licence and the built-in libraries' notices beside it.
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  install(TARGETS quorvane RUNTIME DESTINATION . COMPONENT windows_zip EXCLUDE_FROM_ALL)
  install(FILES README.md doc/report-json.md DESTINATION . COMPONENT windows_zip EXCLUDE_FROM_ALL)
  # Where the README's picture links it.
  install(FILES doc/page.png DESTINATION doc COMPONENT windows_zip EXCLUDE_FROM_ALL)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT windows_zip EXCLUDE_FROM_ALL)
  install(FILES packaging/third-party-notices.txt DESTINATION . RENAME THIRD-PARTY-NOTICES.txt
    COMPONENT windows_zip EXCLUDE_FROM_ALL)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_COMPONENTS_ALL windows_zip)
  include(CPack)
  return()
endif()

# The manual page carries the version; it is installed compressed, as
# Debian wants it and man reads it.
find_program(QUORVANE_GZIP gzip REQUIRED)
configure_file(doc/quorvane.1.in ${PROJECT_BINARY_DIR}/doc/quorvane.1 @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/doc/quorvane.1.gz
  COMMAND ${QUORVANE_GZIP} -9nkf ${PROJECT_BINARY_DIR}/doc/quorvane.1
  DEPENDS ${PROJECT_BINARY_DIR}/doc/quorvane.1
  VERBATIM)
add_custom_target(quorvane_man ALL DEPENDS ${PROJECT_BINARY_DIR}/doc/quorvane.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/doc/quorvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md doc/report-json.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES doc/page.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
install(FILES packaging/third-party-notices.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME THIRD-PARTY-NOTICES)

# Debian's own files in the doc folder, only in the package: the copyright
# file (the licence and the built-in libraries' notices) and the changelog of
# this native package, whose newest entry must name this version.
file(STRINGS packaging/changelog QUORVANE_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT QUORVANE_CHANGELOG_TOP MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with \"${QUORVANE_CHANGELOG_TOP}\"; "
    "add an entry for ${PROJECT_VERSION} at its top")
endif()
file(READ LICENSE QUORVANE_LICENSE)
file(READ packaging/third-party-notices.txt QUORVANE_THIRD_PARTY)
string(STRIP "${QUORVANE_LICENSE}" QUORVANE_LICENSE)
string(STRIP "${QUORVANE_THIRD_PARTY}" QUORVANE_THIRD_PARTY)
configure_file(packaging/copyright.in ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
configure_file(packaging/changelog ${PROJECT_BINARY_DIR}/packaging/changelog COPYONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${QUORVANE_GZIP} -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(quorvane_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
