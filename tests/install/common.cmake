# Checks shared by the install tests, run with cmake -P. Every script gets
# SAMPLE (the sample image), SAMPLE_RUN (what the README run prints) and
# INSTALLED_FILES (the installed tree's files, relative paths joined by "|").

# Runs a command and fails the test unless it exits with status 0; `output`
# receives its standard output.
function(run_checked output)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${status}):\n${out}${err}")
  endif()
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

# The files under `root` must be exactly the installed files, each with
# `prefix` in front (the path inside a package).
function(check_tree root prefix)
  string(REPLACE "|" ";" expected "${INSTALLED_FILES}")
  list(TRANSFORM expected PREPEND "${prefix}")
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
  list(SORT expected)
  list(SORT found)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "${root} holds\n  ${found}\nbut should hold\n  ${expected}")
  endif()
endfunction()

function(expect_same_file actual expected)
  file(SHA256 ${actual} actual_hash)
  file(SHA256 ${expected} expected_hash)
  if(NOT actual_hash STREQUAL expected_hash)
    message(FATAL_ERROR "${actual} differs from ${expected}")
  endif()
endfunction()

# Runs the README's commands on the sample image with the programs in
# `bin_dir`, in a fresh directory `work`: mublock, dirdump, then hfclip on
# MU000 with its output read through iconv. Checks every console line, an
# empty stderr, status 0 and every file left behind.
function(run_sample bin_dir work)
  file(REMOVE_RECURSE ${work})
  file(MAKE_DIRECTORY ${work})
  set(console "")
  foreach(program IN ITEMS mublock dirdump)
    execute_process(COMMAND ${bin_dir}/${program} ${SAMPLE} WORKING_DIRECTORY ${work}
      RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT err STREQUAL "")
      message(FATAL_ERROR "${program} ended with status ${status} and stderr:\n${err}")
    endif()
    string(APPEND console "${out}")
  endforeach()
  execute_process(COMMAND ${bin_dir}/hfclip MU000 2 COMMAND iconv -f CP932 -t UTF-8
    WORKING_DIRECTORY ${work} RESULTS_VARIABLE statuses OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT statuses STREQUAL "0;0" OR NOT err STREQUAL "")
    message(FATAL_ERROR "hfclip | iconv ended with statuses ${statuses} and stderr:\n${err}")
  endif()
  string(APPEND console "${out}")
  file(READ ${SAMPLE_RUN} expected)
  if(NOT console STREQUAL expected)
    message(FATAL_ERROR "the run printed\n${console}\ninstead of\n${expected}")
  endif()

  # The RM blocks on the sample are whole stored files, so MU000 (before the
  # cut), MU001 and MU002 hold what dirdump writes for SNG1 to SNG3.
  set(expected_sizes DATA 300 MEMO 25 MU000 172 MU000.bak 174 MU001 1538 MU002 2572
                     SNG1 174 SNG2 1538 SNG3 2572)
  set(sizes "")
  file(GLOB names LIST_DIRECTORIES true RELATIVE ${work} ${work}/*)
  list(SORT names)
  foreach(name IN LISTS names)
    file(SIZE ${work}/${name} size)
    list(APPEND sizes ${name} ${size})
  endforeach()
  if(NOT sizes STREQUAL expected_sizes)
    message(FATAL_ERROR "the run left ${sizes} instead of ${expected_sizes}")
  endif()
  expect_same_file(${work}/MU000.bak ${work}/SNG1)
  expect_same_file(${work}/MU001 ${work}/SNG2)
  expect_same_file(${work}/MU002 ${work}/SNG3)
  file(READ ${work}/SNG1 kept OFFSET 2 HEX)
  file(READ ${work}/MU000 cut HEX)
  if(NOT cut STREQUAL kept)
    message(FATAL_ERROR "MU000 is not SNG1 without its first two bytes")
  endif()
endfunction()
