# The program a newcomer copies from README.md must compile as printed, and
# the commands that build it must work as printed, so the test that builds
# it takes both from there rather than from copies that could drift: the
# block of `language` right after the marker line
# "<!-- the installed-package consumers <verb> the next <language> block -->",
# written to `output`. A change to README.md configures the build again.

function(database_interface_readme_block readme verb language output)
  set(opening
      "<!-- the installed-package consumers ${verb} the next ${language} block -->\n```${language}\n")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${readme}")
  endif()
  file(READ "${readme}" text)
  string(FIND "${text}" "${opening}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${readme} has no ```${language} block right after its marker:\n${opening}")
  endif()
  string(LENGTH "${opening}" opening_length)
  math(EXPR start "${at} + ${opening_length}")
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "\n```" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${readme}: the block after its marker never ends")
  endif()
  string(SUBSTRING "${text}" 0 ${end} program)
  file(WRITE "${output}" "${program}\n")
endfunction()

# As a script, `cmake -DOUTPUT=<file> -P DatabaseInterfaceReadme.cmake` writes the
# README's program to <file>.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  database_interface_readme_block("${CMAKE_CURRENT_LIST_DIR}/../README.md" build cpp "${OUTPUT}")
endif()
