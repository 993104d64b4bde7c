# Each manual page in PAGES ("|" between them) must format without a single
# warning, by groff itself and by `man -l` on a UTF-8 terminal. The pages
# hold Japanese text in UTF-8, which groff reads through preconv (-k).
function(expect_no_warning)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT err STREQUAL "")
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} ended with status ${status}:\n${err}")
  endif()
endfunction()

string(REPLACE "|" ";" pages "${PAGES}")
foreach(page IN LISTS pages)
  expect_no_warning(${GROFF} -k -ww -z -man -Tutf8 ${page})
  if(MAN)
    expect_no_warning(${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANWIDTH=80
      ${MAN} --warnings -l ${page})
  endif()
endforeach()
