# Windows compiles .rc files with the resource compiler (windres with mingw).
if(WIN32)
  enable_language(RC)
endif()

# dirira_add_resources(<target> <rc file> <symbol>)
# Windows: the .rc file is compiled into the module by the resource compiler.
# Elsewhere: it is turned into a C++ table named <symbol> of type
# win32_standin::ModuleResources, which the module hands to the stand-in's
# loader when it is loaded. The table is made when CMake configures (and
# again whenever the .rc file or the generator changes), so it can join a
# target defined in any folder.
function(dirira_add_resources target rc symbol)
  get_filename_component(rc "${rc}" ABSOLUTE)
  if(WIN32)
    target_sources(${target} PRIVATE "${rc}")
    return()
  endif()
  get_filename_component(name "${rc}" NAME_WE)
  set(generator ${PROJECT_SOURCE_DIR}/cmake/rc_to_cpp.cmake)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.cpp")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DRC=${rc} -DOUT=${out} -DSYMBOL=${symbol} -P ${generator}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot turn ${rc} into a resource table")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${rc}" "${generator}")
  target_sources(${target} PRIVATE "${out}")
endfunction()
