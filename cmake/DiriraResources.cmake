# dirira_add_resources(<target> <rc file> <symbol>)
# Windows: the .rc file is compiled into the module by the resource compiler.
# Elsewhere: it is turned into a C++ table named <symbol> of type
# win32_standin::ModuleResources, which the module hands to the stand-in's
# loader when it is loaded.
function(dirira_add_resources target rc symbol)
  get_filename_component(rc "${rc}" ABSOLUTE)
  if(WIN32)
    target_sources(${target} PRIVATE "${rc}")
    return()
  endif()
  get_filename_component(name "${rc}" NAME_WE)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.cpp")
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DRC=${rc} -DOUT=${out} -DSYMBOL=${symbol}
            -P ${PROJECT_SOURCE_DIR}/cmake/rc_to_cpp.cmake
    DEPENDS "${rc}" ${PROJECT_SOURCE_DIR}/cmake/rc_to_cpp.cmake
    COMMENT "Generating resource table from ${name}.rc"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
endfunction()
