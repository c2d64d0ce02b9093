# The mingw build's programs and DLLs need the compiler's runtime DLLs
# beside them (Windows looks in a program's own folder first), so bin/ is
# complete as it stands: they are copied there when CMake configures.
# The GCC runtime is named by its unwinder: SEH on x86-64, DWARF-2 on i686.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(dirira_gcc_runtime libgcc_s_dw2-1.dll)
else()
  set(dirira_gcc_runtime libgcc_s_seh-1.dll)
endif()
foreach(dll libstdc++-6.dll ${dirira_gcc_runtime} libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}")
    message(FATAL_ERROR "the compiler knows no ${dll}")
  endif()
  file(COPY "${path}" DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()
