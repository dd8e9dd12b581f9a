# The user guide, the manual page, the install layout and the Debian package.
#
# Installed layout (prefix /usr in the package, /usr/local for a plain `cmake --install`):
#   PREFIX/lib/norv-extract/norv-extract            the program, in a folder of its own
#   PREFIX/lib/norv-extract/help/NorvGuide.pdf      the guide `version` names: program folder + /help/
#   PREFIX/bin/norv-extract -> ../lib/norv-extract/norv-extract
#   PREFIX/share/man/man1/norv-extract.1.gz
# The program finds its folder through /proc/self/exe, which resolves the link in bin, so `version` names
# the guide beside the real program however it is called.

set(NORV_PROGRAM_DIR lib/norv-extract)

# ---------------------------------------------------------------- the user guide
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(norv-guidepdf tools/guidepdf/main.cpp)
target_link_libraries(norv-guidepdf PRIVATE Qt6::Gui)
# A build tool, not part of the product: built without the sanitizers, so that their checks of the font
# and platform libraries it loads can never fail the build.
set_property(TARGET norv-guidepdf PROPERTY COMPILE_OPTIONS -Wall -Wextra)
set_property(TARGET norv-guidepdf PROPERTY LINK_OPTIONS "")

set(NORV_GUIDE_PDF ${CMAKE_BINARY_DIR}/help/NorvGuide.pdf)
add_custom_command(
  OUTPUT ${NORV_GUIDE_PDF}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/help
  # Should sanitizer flags reach the tool by another road, their leak check must not fail the build.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:norv-guidepdf> ${CMAKE_SOURCE_DIR}/docs/guide.md ${NORV_GUIDE_PDF}
          "Velmora Data Extractor for Norv: User Guide"
  DEPENDS norv-guidepdf ${CMAKE_SOURCE_DIR}/docs/guide.md
  COMMENT "Rendering the user guide help/NorvGuide.pdf"
  VERBATIM)

# ---------------------------------------------------------------- the manual page
# The package and the manual page carry the version the program reports, which the program defines.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/BridgeBase.cpp)
file(STRINGS ${CMAKE_SOURCE_DIR}/src/app/BridgeBase.cpp norv_version_line
     REGEX "appVersion_ = QStringLiteral\\(\"[0-9.]+\"\\)")
string(REGEX MATCH "[0-9]+(\\.[0-9]+)+" NORV_PACKAGE_VERSION "${norv_version_line}")
if(NOT NORV_PACKAGE_VERSION)
  message(FATAL_ERROR "The program's version was not found in src/app/BridgeBase.cpp")
endif()

configure_file(${CMAKE_SOURCE_DIR}/docs/norv-extract.1 ${CMAKE_BINARY_DIR}/man/norv-extract.1 @ONLY)
find_program(NORV_GZIP gzip REQUIRED)
set(NORV_MANPAGE ${CMAKE_BINARY_DIR}/man/norv-extract.1.gz)
add_custom_command(
  OUTPUT ${NORV_MANPAGE}
  # -n keeps the time stamp out, so the same page always gives the same bytes.
  COMMAND sh -c "${NORV_GZIP} -9n -c \"$1\" > \"$2\"" sh ${CMAKE_BINARY_DIR}/man/norv-extract.1
          ${NORV_MANPAGE}
  DEPENDS ${CMAKE_BINARY_DIR}/man/norv-extract.1
  VERBATIM)

# ---------------------------------------------------------------- the package's documents
# The Debian changelog, compressed as Debian ships it (-n: the same bytes every build).
set(NORV_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(
  OUTPUT ${NORV_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND sh -c "${NORV_GZIP} -9n -c \"$1\" > \"$2\"" sh ${CMAKE_SOURCE_DIR}/packaging/changelog ${NORV_CHANGELOG}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  VERBATIM)

add_custom_target(norv-docs ALL DEPENDS ${NORV_GUIDE_PDF} ${NORV_MANPAGE} ${NORV_CHANGELOG})

# ---------------------------------------------------------------- install rules
install(TARGETS norv-extract RUNTIME DESTINATION ${NORV_PROGRAM_DIR})
install(FILES ${NORV_GUIDE_PDF} DESTINATION ${NORV_PROGRAM_DIR}/help)
install(FILES ${NORV_MANPAGE} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${NORV_CHANGELOG} DESTINATION share/doc/norv-extract)
# The nightly and the weekly verification's services and timers, in the prefix's unit folder (/usr/lib/systemd/system in the package;
# systemd also reads /usr/local/lib/systemd/system). The service names the program of the prefix it is
# installed under, which is known only when installing (the package installs under /usr into a staging
# folder, DESTDIR).
set(NORV_UNIT_DIR lib/systemd/system)
install(CODE "
  # Both services share one sandbox, written once: it stands at @NORV_SANDBOX@ in each.
  file(READ \"${CMAKE_SOURCE_DIR}/packaging/norv-extract-sandbox.conf\" sandbox)
  string(REGEX REPLACE \"\\n$\" \"\" NORV_SANDBOX \"\${sandbox}\")
  foreach(name norv-extract@ norv-extract-verify@)
    file(READ \"${CMAKE_SOURCE_DIR}/packaging/\${name}.service.in\" unit)
    set(NORV_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/bin/norv-extract\")
    string(CONFIGURE \"\${unit}\" unit @ONLY)
    file(WRITE \"${CMAKE_BINARY_DIR}/systemd/\${name}.service\" \"\${unit}\")
    file(INSTALL \"${CMAKE_BINARY_DIR}/systemd/\${name}.service\"
                 \"${CMAKE_SOURCE_DIR}/packaging/\${name}.timer\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${NORV_UNIT_DIR}\"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
")
# A relative link, so that it holds under any prefix and inside an unpacked package.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ../${NORV_PROGRAM_DIR}/norv-extract ${CMAKE_BINARY_DIR}/install-links/norv-extract SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install-links/norv-extract DESTINATION bin)

# ---------------------------------------------------------------- the Debian package
set(NORV_PACKAGE_MAINTAINER "Velmora Software Support <support@velmora.example>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norv-extract)
set(CPACK_PACKAGE_VERSION ${NORV_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora Software")
set(CPACK_PACKAGE_CONTACT ${NORV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Velmora Data Extractor for Norv")
# Debian wraps the extended description at 80 columns: every line stays shorter.
set(CPACK_PACKAGE_DESCRIPTION
    "Reads a school's records from the Norv student information system through
ODBC and writes the tab-separated import files of Corvanta, with an
incremental attendance cache in SQLite.
It is started by a host program once per request, or every night by the
service and timer norv-extract@.service and norv-extract@.timer; the
weekly norv-extract-verify@.timer checks the attendance sent. The user
guide is /usr/lib/norv-extract/help/NorvGuide.pdf.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The run-time libraries the program links; the package test checks this list against the binary.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libqt6core6 (>= 6.4), libqt6xml6 (>= 6.4), libodbc2 (>= 2.3.11), libsqlite3-0 (>= 3.35)")
# The drivers of the sample sources; a school's own Oracle or SQL Server driver comes from its vendor.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "unixodbc, tdsodbc")
include(CPack)

# ---------------------------------------------------------------- tests
if(NORV_BUILD_TESTS)
  add_test(NAME Guide.PdfHoldsEverySection
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/guide_test.sh ${NORV_GUIDE_PDF}
                   ${CMAKE_SOURCE_DIR}/docs/guide.md)
  add_test(NAME Install.LinkReportsInstalledGuide
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
  set_tests_properties(Guide.PdfHoldsEverySection Install.LinkReportsInstalledGuide PROPERTIES TIMEOUT 300)
  # A sanitizer build is never shipped: its program needs the sanitizer run-time, which the package
  # rightly does not depend on.
  if(NOT NORV_SANITIZE)
    add_test(NAME Install.DebianPackage
             COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/package_test.sh ${CMAKE_BINARY_DIR}
                     ${CMAKE_CPACK_COMMAND})
    set_tests_properties(Install.DebianPackage PROPERTIES TIMEOUT 300)
    add_test(NAME Install.ServiceSandbox
             COMMAND sh ${CMAKE_SOURCE_DIR}/tests/install/service_sandbox_test.sh ${CMAKE_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR} ${NORV_TEST_PG_PORT})
    set_tests_properties(Install.ServiceSandbox PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
                         FIXTURES_REQUIRED norv_sources)
    # Both install from the same build folder, which records what it installed in one manifest file.
    set_tests_properties(Install.LinkReportsInstalledGuide Install.DebianPackage
                         PROPERTIES RESOURCE_LOCK norv_install_manifest)
  endif()
endif()
