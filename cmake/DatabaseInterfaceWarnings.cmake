# database_interface_warnings(<target>): the project's warning set on its own code.
function(database_interface_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${DATABASE_INTERFACE_WARNINGS_AS_ERRORS}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wnon-virtual-dtor
      -Wold-style-cast -Woverloaded-virtual
      $<$<BOOL:${DATABASE_INTERFACE_WARNINGS_AS_ERRORS}>:-Werror>)
  endif()
endfunction()
