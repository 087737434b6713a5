# Installation and the release packages, made by CPack from the install rules.
#   windows - `cmake --build --preset windows --target package`: the release zip.
#   native  - `cmake --install` puts the velorund tool with its manual page and bash completion,
#             the GIMP plug-in and the package documents under any prefix;
#             `cmake --build --preset native --target package` makes the Debian package
#             velorund_<version>_<arch>.deb from the same rules.

if(WIN32)
  # The zip holds the module with the README and the licence, ready to be dropped into a host's
  # plug-ins folder, and the module for hosts that read the PiPL strictly in a folder of its own.
  install(FILES $<TARGET_FILE:velorund_module> README.md LICENSE DESTINATION .)
  install(FILES $<TARGET_FILE:velorund_module_strict_hosts> DESTINATION strict-hosts)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Velorund)
  set(CPACK_PACKAGE_FILE_NAME "Velorund-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
# Folders made by the install are 0755 whatever the umask, as packages want them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)

# The manual page gets the version, and it and the changelog are compressed as Debian keeps
# them: gzip -9 without a name or time stamp, so the same sources give the same bytes.
configure_file(${packaging_source}/velorund.1.in ${packaging_build}/velorund.1 @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${packaging_build}/velorund.1.gz ${packaging_build}/changelog.gz
  COMMAND ${GZIP} -9nkf velorund.1
  COMMAND ${CMAKE_COMMAND} -E copy ${packaging_source}/changelog changelog
  COMMAND ${GZIP} -9nf changelog
  DEPENDS ${packaging_build}/velorund.1 ${packaging_source}/changelog
  WORKING_DIRECTORY ${packaging_build}
  VERBATIM)
add_custom_target(velorund_documents ALL
  DEPENDS ${packaging_build}/velorund.1.gz ${packaging_build}/changelog.gz)

set(VELORUND_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/velorund)
install(TARGETS velorund RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging_build}/velorund.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_source}/velorund.bash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME velorund)
install(FILES ${packaging_source}/copyright ${packaging_build}/changelog.gz DESTINATION ${VELORUND_DOC_DIR})

# GIMP 2.10 runs every program in its library folder's plug-ins/, each in a folder of its own
# named as the program, for every user. The library folder comes from libgimp's pkg-config file
# (what `gimptool-2.0 --gimpplugindir` prints), taken relative to libgimp's prefix so that an
# install under another prefix puts the plug-in under that prefix too.
if(TARGET velorund-gimp)
  pkg_get_variable(gimp_prefix gimp-2.0 prefix)
  pkg_get_variable(gimp_libdir gimp-2.0 gimplibdir)
  file(RELATIVE_PATH gimp_libdir ${gimp_prefix} ${gimp_libdir})
  set(VELORUND_GIMP_PLUGIN_DIR ${gimp_libdir}/plug-ins/velorund-gimp CACHE STRING
      "Folder of the GIMP plug-in, relative to the install prefix")
  install(TARGETS velorund-gimp RUNTIME DESTINATION ${VELORUND_GIMP_PLUGIN_DIR})
endif()

# The Debian package: everything above under /usr, its programs stripped of the debugging
# information the native build keeps. lintian finds no error and no warning in it (its test
# fails on either). It gives three notes, left as they are: the programs keep their .comment
# section (the compiler's version), and they are linked without -z now and built without
# _FORTIFY_SOURCE, hardening flags that dpkg-buildflags can add and this build does not set.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velorund)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_CONTACT "Brackwater <velorund@brackwater.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://brackwater.example/velorund/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "warps a square image into a circle")
set(CPACK_PACKAGE_DESCRIPTION [=[
Velorund squeezes a picture into the largest disc or ellipse that fits it by
the conformal square-to-disc map. Every output pixel is filtered from the
source through an image pyramid with an elliptical footprint, and the rim is
supersampled so that it is smooth.

This package holds the velorund command-line tool, which warps PNG, TIFF,
JPEG and WebP files at 8, 16 and 32 bits, one at a time or in batches, keeping
their colour profiles and metadata, and the GIMP 2.10 plug-in, which adds
Filters > Distorts > Velorund (square to circle).]=])
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_STRIP_FILES ON)
# The libraries the programs link, the GIMP plug-in's libgimp among them, become the package's
# dependencies, found by dpkg-shlibdeps. The plug-in is of use where GIMP is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_ENHANCES gimp)
include(CPack)

# The package built and checked as it is shipped: from the native build, not the sanitizers'.
find_program(LINTIAN lintian)
if(LINTIAN AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  if(TARGET velorund-gimp)
    set(with_gimp_plugin 1)
  else()
    set(with_gimp_plugin 0)
  endif()
  add_test(NAME debian_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/deb_package_test.sh ${CMAKE_CPACK_COMMAND}
            ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION} ${with_gimp_plugin})
endif()
