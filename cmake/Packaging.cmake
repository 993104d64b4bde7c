# `cpack` in the build directory makes a Debian package and a .tar.gz of
# everything `cmake --install` puts in place: the three programs, their
# manual pages and the reader library with its CMake package.
set(CPACK_PACKAGE_NAME d88tools)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Tools for D88 floppy-disk images: RM blocks, directory files, header cutting")
set(CPACK_PACKAGE_DESCRIPTION
  "mublock writes every RM block of a D88 data-disk image to its own file,
dirdump writes every file that each disk's directory lists, and hfclip cuts
a header and footer off a file in place. The package also holds the D88
image reader library: d88image.h, libd88.a and its CMake package
(find_package(d88), target d88::d88).")
set(CPACK_PACKAGE_CONTACT "d88tools developers")
set(CPACK_GENERATOR DEB TGZ)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends is worked out from the programs' shared libraries where
# dpkg-shlibdeps is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
