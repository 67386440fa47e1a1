# Installing nami like a Linux program: man pages, AppStream metadata, the
# D-Bus service file, the systemd user units and the Debian package (CPack,
# see scripts/package).

# The one place that names the maintainer: the package's Maintainer field,
# the changelog's signature and the copyright file's contact come from it.
set(NAMI_PACKAGE_MAINTAINER "nami maintainers <nami@example.org>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

# Man pages and the Debian changelog go in compressed with gzip -9n (no name,
# no time stamp), as Debian policy asks.
set(NAMI_GZIPPED)
function(nami_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
    COMMAND gzip -9nf ${output}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp.gz ${output}
    DEPENDS ${source}
    VERBATIM)
  set(NAMI_GZIPPED ${NAMI_GZIPPED} ${output} PARENT_SCOPE)
endfunction()

foreach(page nami.1 nami-tncsim.1)
  nami_gzip(${CMAKE_SOURCE_DIR}/doc/man/${page} ${CMAKE_BINARY_DIR}/gz/${page}.gz)
  nami_gzip(${CMAKE_SOURCE_DIR}/doc/man/ja/${page} ${CMAKE_BINARY_DIR}/gz/ja.${page}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/gz/${page}.gz DESTINATION share/man/man1)
  install(FILES ${CMAKE_BINARY_DIR}/gz/ja.${page}.gz DESTINATION share/man/ja/man1 RENAME ${page}.gz)
endforeach()
configure_file(data/debian/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
nami_gzip(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/gz/changelog.gz)
# The README, as Debian keeps documents larger than 4 kB: compressed.
nami_gzip(${CMAKE_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/gz/README.md.gz)
add_custom_target(nami_gzipped ALL DEPENDS ${NAMI_GZIPPED})
configure_file(data/debian/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/gz/changelog.gz ${CMAKE_BINARY_DIR}/gz/README.md.gz ${CMAKE_BINARY_DIR}/copyright
        DESTINATION share/doc/nami)
# A commented NAMI.INI with every kind of link, to copy and change.
install(FILES data/NAMI.INI.example DESTINATION share/doc/nami/examples RENAME NAMI.INI)

file(GLOB NAMI_METAINFO CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/*.metainfo.xml)
install(FILES ${NAMI_METAINFO} DESTINATION share/metainfo)

# The files that name the program by its full path are written at install
# time, so that they name the prefix installed to (`cmake --install --prefix`,
# or /usr in the package built from the same tree).
set(NAMI_PREFIX_FILES
    "data/Nami.Document.service.in|share/dbus-1/services/Nami.Document.service"
    "data/nami-autopilot.service.in|lib/systemd/user/nami-autopilot.service"
    "data/nami-autopilot@.service.in|lib/systemd/user/nami-autopilot@.service")
foreach(entry ${NAMI_PREFIX_FILES})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 template)
  list(GET entry 1 destination)
  install(CODE "
    set(NAMI_BINDIR \"\${CMAKE_INSTALL_PREFIX}/bin\")
    set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}\")
    message(STATUS \"Installing: \${target}\")
    configure_file(\"${CMAKE_SOURCE_DIR}/${template}\" \"\${target}\" @ONLY)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${target}\")")
endforeach()

# The Debian package. Its dependencies are found by dpkg-shlibdeps from the
# libraries the programs link; the Qt platform plugins come with libqt6gui6.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nami)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The nami developers")
set(CPACK_PACKAGE_CONTACT "${NAMI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NAMI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "terminal for amateur packet radio with a BBS autopilot
nami shows everything the TNC or BBS sends in a live terminal pane and a
history pane, uploads text files and captures received lines to files.
It reaches the radio or the BBS over:
 - a hardware TNC in TNC2 command mode on a serial port;
 - an AGWPE server such as Dire Wolf or soundmodem;
 - a KISS TNC over TCP or on a serial port, with nami's own AX.25
   connected mode (no kernel AX.25 needed);
 - a BBS's telnet port;
 - a built-in simulated TNC and BBS, for practice.
.
On a schedule or on command its autopilot drives a packet BBS by itself:
it connects, sends the queued mail files, reads the bulletin list and
every new message, and logs off. It also runs without a display, as a
systemd user service. The interface is Japanese; link text is Shift-JIS.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What nami loads at run time without linking it, so dpkg-shlibdeps cannot
# see it: a CJK font with the faces the terminal panes look for, and Qt's
# Japanese texts for its own dialogs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Install with DESTDIR, so that the install-time files above see /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build-package)
include(CPack)
