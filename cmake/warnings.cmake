# huemark_warnings(<target>): the warning set every target of the project builds with.
function(huemark_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(HUEMARK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
