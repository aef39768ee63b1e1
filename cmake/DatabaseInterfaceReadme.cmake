# The program a newcomer copies from README.md must compile as printed, and
# the commands that build it must work as printed, so the tests that build
# it (and scripts/size) take both from there rather than from copies that
# could drift: the block of `language` right after the marker line
# "<!-- the installed-package consumers <verb> the next <language> block -->",
# written to `output`.
function(database_interface_readme_block readme verb language output)
  set(opening "<!-- the installed-package consumers ${verb} the next ${language} block -->\n```${language}\n")
  file(READ "${readme}" text)
  string(FIND "${text}" "${opening}" at)
  string(LENGTH "${opening}" length)
  math(EXPR at "${at} + ${length}")
  string(SUBSTRING "${text}" ${at} -1 text)
  string(FIND "${text}" "\n```" end)
  if(at LESS length OR end EQUAL -1)
    message(FATAL_ERROR "${readme} has no whole ```${language} block right after:\n${opening}")
  endif()
  string(SUBSTRING "${text}" 0 ${end} text)
  file(WRITE "${output}" "${text}\n")
endfunction()

# As a script, `cmake -DOUTPUT=<file> -P DatabaseInterfaceReadme.cmake`
# writes the README's program to <file>.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  database_interface_readme_block("${CMAKE_CURRENT_LIST_DIR}/../README.md" build cpp "${OUTPUT}")
endif()
