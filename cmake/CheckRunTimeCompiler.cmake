# The Windows module leans on its run-time's inner workings in two places, both checked with one
# compiler major version only: the i686 unwinder's table registration (src/platform/win32/dll/
# dll_main.cpp: the layout of the unwinder's bookkeeping, and what the start-up code does when
# another module brought the shared run-time) and the release of the run-time's leftovers at
# unload (dll/module_entry.cpp: which run-time objects make semaphores, and the C++ library's
# buffer release). Another version may differ in either without a word from the compiler: it is
# refused at configuration, until someone checks it again (tests/win32_host: the load orders
# and the reload rounds) and moves this number.
#
# Included with CMAKE_CXX_COMPILER_ID and CMAKE_CXX_COMPILER_VERSION set, or run as a script:
#   cmake -DCOMPILER_ID=GNU -DCOMPILER_VERSION=13.2.0 -P CheckRunTimeCompiler.cmake
set(K4_CHECKED_GCC_MAJOR 12)

if(DEFINED COMPILER_ID)
  set(k4_compiler_id "${COMPILER_ID}")
  set(k4_compiler_version "${COMPILER_VERSION}")
else()
  set(k4_compiler_id "${CMAKE_CXX_COMPILER_ID}")
  set(k4_compiler_version "${CMAKE_CXX_COMPILER_VERSION}")
endif()
string(REGEX MATCH "^[0-9]+" k4_compiler_major "${k4_compiler_version}")
if(NOT k4_compiler_id STREQUAL "GNU" OR NOT k4_compiler_major STREQUAL K4_CHECKED_GCC_MAJOR)
  message(FATAL_ERROR
          "the Windows module was checked with GCC ${K4_CHECKED_GCC_MAJOR} only (its unwinder "
          "table registration and its run-time release at unload); this is ${k4_compiler_id} "
          "${k4_compiler_version}. See cmake/CheckRunTimeCompiler.cmake.")
endif()
