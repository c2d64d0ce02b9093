# One place for the warning set every target of the project compiles with.
function(dirira_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Werror=return-type)
endfunction()
