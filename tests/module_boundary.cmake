# The module boundary, checked on the built programs: the shipped module exports its entry points
# and nothing else and carries none of the host kit's stand-ins; the programs that play the host
# link none of the plug-in's code; the C contract's header is C.
if(NOT K4_PLATFORM STREQUAL "posix" OR CMAKE_CROSSCOMPILING OR K4_FUZZ OR NOT TARGET Orvane_K4)
  return()
endif()

set(K4_BOUNDARY_CHECK ${CMAKE_CURRENT_LIST_DIR}/module_boundary/check_symbols.cmake)
if(CMAKE_NM)
  add_test(NAME module_boundary.plugin_exports
           COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DFILE=$<TARGET_FILE:Orvane_K4> -DMODE=module
                   -DMAP=${CMAKE_SOURCE_DIR}/src/platform/posix/Orvane_K4.map
                   -P ${K4_BOUNDARY_CHECK})
  foreach(host k4-hostsim k4-linuxcnc)
    if(TARGET ${host})
      add_test(NAME module_boundary.${host}_links_no_plugin_code
               COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DFILE=$<TARGET_FILE:${host}> -DMODE=host
                       -P ${K4_BOUNDARY_CHECK})
    endif()
  endforeach()
endif()

# Compiled as C99, pedantic, warnings as errors: a host in C (or a binding generated from C)
# can include the header as it is.
add_library(k4_host_view_c_check OBJECT ${CMAKE_CURRENT_LIST_DIR}/module_boundary/host_view_c_check.c)
target_include_directories(k4_host_view_c_check PRIVATE ${CMAKE_SOURCE_DIR}/src)
set_target_properties(k4_host_view_c_check PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                                                      C_EXTENSIONS OFF)
target_compile_options(k4_host_view_c_check PRIVATE -Wall -Wextra -Wpedantic -Werror)

# A host in another language: Python's ctypes and nothing else load the module, hand it the C host
# view with a stand-in pendant and dialog, and jog Z by three counts. Not under the sanitizers: a
# Python process cannot load a module that needs the sanitizers' run-time first.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND NOT K4_SANITIZE)
  add_test(NAME module_boundary.python_host
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/module_boundary/python_host.py
                   $<TARGET_FILE:Orvane_K4>)
endif()
