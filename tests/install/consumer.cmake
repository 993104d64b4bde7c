# Configures and builds the project in SOURCE (the README's library example)
# against the reader installed in PREFIX, with the compiler and flags of this
# build, then runs it on the sample image.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

file(REMOVE_RECURSE ${WORK})
run_checked(out ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_PREFIX_PATH=${PREFIX}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)

# The package must come from the prefix, not from a copy installed elsewhere.
file(STRINGS ${WORK}/CMakeCache.txt found REGEX "^d88_DIR:")
if(NOT found STREQUAL "d88_DIR:PATH=${PREFIX}/${PACKAGE_DIR}")
  message(FATAL_ERROR "find_package(d88) found ${found}, not the package in ${PREFIX}")
endif()
run_checked(out ${CMAKE_COMMAND} --build ${WORK})

run_checked(out ${WORK}/disknames ${SAMPLE})
file(READ ${SOURCE}/expected_output.txt expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "disknames printed\n${out}\ninstead of\n${expected}")
endif()
execute_process(COMMAND ${WORK}/disknames ${SOURCE}/missing.d88
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1 OR NOT out STREQUAL "" OR NOT err MATCHES "^usage: disknames ")
  message(FATAL_ERROR "disknames on a missing image: status ${status}, stdout ${out}, stderr ${err}")
endif()
