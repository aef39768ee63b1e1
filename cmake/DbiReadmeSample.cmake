# The program a newcomer copies from README.md must compile as printed, so
# the test that builds it takes it from there rather than from a copy that
# could drift: the ```cpp block right after the marker line below, written
# to `output`. A change to README.md configures the build again.

function(dbi_extract_readme_sample readme output)
  set(opening "<!-- the installed-package consumers build the next cpp block -->\n```cpp\n")
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${readme}")
  endif()
  file(READ "${readme}" text)
  string(FIND "${text}" "${opening}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${readme} has no ```cpp block right after its marker:\n${opening}")
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
