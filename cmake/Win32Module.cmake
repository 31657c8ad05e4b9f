# The Windows plug-in module: plain-named exports through the module definition file, the load
# and self-registration entry points, the embedded type library and the version resource.
enable_language(RC)

include(${CMAKE_CURRENT_LIST_DIR}/CheckRunTimeCompiler.cmake)

set(K4_WIN32_DIR ${CMAKE_SOURCE_DIR}/src/platform/win32)
set(K4_MODULE_GEN_DIR ${CMAKE_BINARY_DIR}/win32module)
set(K4_TYPELIB_FILE ${K4_MODULE_GEN_DIR}/Orvane_K4.tlb)
file(MAKE_DIRECTORY ${K4_MODULE_GEN_DIR})

if(NOT K4_WIDL)
  message(FATAL_ERROR "K4_WIDL (the toolchain's widl) is not set; use a preset's toolchain file")
endif()
add_custom_command(
  OUTPUT ${K4_TYPELIB_FILE}
  COMMAND ${K4_WIDL} -t -o ${K4_TYPELIB_FILE} ${K4_WIN32_DIR}/Orvane_K4.idl
  DEPENDS ${K4_WIN32_DIR}/Orvane_K4.idl
  COMMENT "Compiling the type library"
  VERBATIM)

configure_file(${K4_WIN32_DIR}/Orvane_K4.rc.in ${K4_MODULE_GEN_DIR}/Orvane_K4.rc @ONLY)
set_source_files_properties(${K4_MODULE_GEN_DIR}/Orvane_K4.rc PROPERTIES OBJECT_DEPENDS
                                                                         ${K4_TYPELIB_FILE})

# Code that belongs to the DLL only (test programs link the core without it).
file(GLOB K4_DLL_SOURCES CONFIGURE_DEPENDS ${K4_WIN32_DIR}/dll/*.cpp)
target_sources(Orvane_K4 PRIVATE ${K4_DLL_SOURCES} ${K4_WIN32_DIR}/Orvane_K4.def
                                 ${K4_MODULE_GEN_DIR}/Orvane_K4.rc)
target_link_libraries(Orvane_K4 PRIVATE k4_warnings)
# The host finds the exports by their plain names: no @N suffix on the 32-bit stdcall ones, and
# no import library needed by anyone.
target_link_options(Orvane_K4 PRIVATE -Wl,--kill-at -Wl,--no-undefined)
# The module's entry runs the run-time's and then gives back what the static run-time keeps
# after a dynamic unload (src/platform/win32/dll/module_entry.cpp).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(Orvane_K4 PRIVATE -Wl,-e,_k4ModuleEntry@12)
else()
  target_link_options(Orvane_K4 PRIVATE -Wl,-e,k4ModuleEntry)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The four COM entry points are __stdcall (_Name@N); the definition file names them plainly on
  # purpose, so the linker's fix-up from one to the other is expected, not worth a warning.
  target_link_options(Orvane_K4 PRIVATE -Wl,--enable-stdcall-fixup)
  # Where the module's unwind tables start, for DllMain to register them with the module's own
  # unwinder when the start-up code gave them to another module's (src/platform/win32/dll).
  target_link_options(Orvane_K4 PRIVATE "-Wl,--defsym,_k4_eh_frame_begin=ADDR(.eh_frame)")
endif()
