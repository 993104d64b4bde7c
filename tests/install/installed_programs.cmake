# Runs the README's commands with the programs installed in BIN_DIR, in WORK.
include(${CMAKE_CURRENT_LIST_DIR}/common.cmake)

run_sample(${BIN_DIR} ${WORK})
