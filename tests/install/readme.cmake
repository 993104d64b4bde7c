# The README shows the library example's CMakeLists.txt, its source and its
# output, the output of the sample run and the installed tree: each must be,
# byte for byte as a fenced block, what the install tests build, run or
# compare with.
file(READ ${README} readme)

function(expect_block language content origin)
  string(FIND "${readme}" "\n```${language}\n${content}```\n" position)
  if(position EQUAL -1)
    message(FATAL_ERROR "README.md has no ```${language} block that equals ${origin}:\n${content}")
  endif()
endfunction()

foreach(block IN ITEMS
    "cmake|${CONSUMER}/CMakeLists.txt"
    "cpp|${CONSUMER}/disknames.cpp"
    "text|${CONSUMER}/expected_output.txt"
    "text|${SAMPLE_RUN}")
  string(REPLACE "|" ";" block "${block}")
  list(GET block 0 language)
  list(GET block 1 path)
  file(READ ${path} content)
  expect_block(${language} "${content}" ${path})
endforeach()

# The tree that the README lists is the one the default (Release) build
# installs.
string(REPLACE "|" "\n" tree "${INSTALLED_FILES}\n")
string(REPLACE "d88Targets-${CONFIG}.cmake" "d88Targets-release.cmake" tree "${tree}")
expect_block(text "${tree}" "the installed tree")
