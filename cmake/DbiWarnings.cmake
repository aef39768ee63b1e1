# dbi_set_warnings(<target>): the project's warning set on its own code.
function(dbi_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${DBI_WARNINGS_AS_ERRORS}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
      -Wold-style-cast -Woverloaded-virtual
      $<$<BOOL:${DBI_WARNINGS_AS_ERRORS}>:-Werror>)
  endif()
endfunction()
