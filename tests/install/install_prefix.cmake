# Installs the build tree BUILD_DIR into a fresh PREFIX and checks that it
# put exactly the expected files there.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REMOVE_RECURSE ${PREFIX})
run_checked(out ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
check_tree(${PREFIX} "")
