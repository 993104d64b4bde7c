# Runs cpack on the build tree BUILD_DIR into WORK, installs the .deb with
# dpkg into a root of its own and unpacks the .tar.gz; each must hold exactly
# the installed files, and its programs must run the README's commands.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REMOVE_RECURSE ${WORK})
run_checked(out ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK})
file(GLOB debs ${WORK}/*.deb)
file(GLOB tarballs ${WORK}/*.tar.gz)
list(LENGTH debs deb_count)
list(LENGTH tarballs tarball_count)
if(NOT deb_count EQUAL 1 OR NOT tarball_count EQUAL 1)
  message(FATAL_ERROR "cpack made ${debs} ${tarballs}, not one .deb and one .tar.gz")
endif()

# The root has a package database of its own and none of the libraries that
# the package depends on, hence --force-depends.
set(root ${WORK}/root)
set(admin ${root}/var/lib/dpkg)
file(MAKE_DIRECTORY ${admin}/info ${admin}/updates)
file(TOUCH ${admin}/status)
run_checked(out ${DPKG} --root=${root} --force-depends --force-not-root --log=/dev/null
  -i ${debs})
run_checked(status ${DPKG_QUERY} --admindir=${admin} -W "-f=\${Status} \${Version}" d88tools)
if(NOT status STREQUAL "install ok installed ${VERSION}")
  message(FATAL_ERROR "dpkg reports d88tools as \"${status}\"")
endif()
check_tree(${root}/usr "")
run_sample(${root}/usr/bin ${WORK}/deb-run)

set(unpacked ${WORK}/tarball)
file(MAKE_DIRECTORY ${unpacked})
run_checked(out ${CMAKE_COMMAND} -E chdir ${unpacked} ${CMAKE_COMMAND} -E tar xzf ${tarballs})
file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
if(NOT top MATCHES "^d88tools-${VERSION}-[^;]+$")
  message(FATAL_ERROR "the .tar.gz holds ${top}, not one folder d88tools-${VERSION}-SYSTEM")
endif()
check_tree(${unpacked} "${top}/")
run_sample(${unpacked}/${top}/${BINDIR} ${WORK}/tarball-run)
