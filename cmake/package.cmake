# The Debian package, made by CPack from the install rules:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build
#   (cd build && cpack -G DEB)      # musicdisk_<version>_<arch>.deb
# "./build.sh package" does this and checks the result. CPack packs what
# "cmake --install" puts under /usr and lets dpkg-shlibdeps name the
# libraries the programs need; cmake/deb/finish.cmake.in strips the programs
# and adds what only a Debian package carries (changelog, compressed manual
# page). Gzip, not xz: the songs are MP3s already, and xz takes 15 s more
# for the same size.

set(CPACK_PACKAGE_NAME musicdisk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT "Seed 9e64e7ab maintainers <maintainers@users.noreply.c-seed-9e64e7ab.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "music competition entries with real-time visuals
The musicdisk presents the fifteen entries of the Orbel music competition
and plays them one after another through its own player program, while
real-time visuals run: an intro of logos, credits and the entrants, then a
disk screen of scrolling landscapes, a control panel, the song list, a
scroller and sparks. It runs full screen or in a window and follows the
keyboard's media keys and the desktop's media controls.")
set(MUSICDISK_DEB_DIR ${CMAKE_CURRENT_LIST_DIR}/deb)
configure_file(${MUSICDISK_DEB_DIR}/finish.cmake.in ${CMAKE_BINARY_DIR}/deb-finish.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/deb-finish.cmake)
include(CPack)
