# Checks the built plug-in module the way the host meets it: every entry point exported under
# its plain name, and nothing imported beyond the system's own DLLs (the host's machine has no
# MinGW run-time).
#
#   cmake -DOBJDUMP=<toolchain objdump> -DMODULE=<Orvane_K4.dll> -P CheckModuleExports.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT OBJDUMP OR NOT MODULE)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=<objdump> -DMODULE=<dll> -P ${CMAKE_SCRIPT_MODE_FILE}")
endif()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "module not found: ${MODULE}")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${MODULE}")
endif()

set(required_exports
    SetDoButton SetSetDRO SetGetDRO SetGetLED SetSetLED SetCode SetProName InitControl
    PostInitControl Config Update StopPlug DoDwell Reset JogOn JogOff Purge Probe Home
    DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer)

# Lower-case names of the system DLLs the module may import.
set(system_dlls
    kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll comdlg32.dll
    ole32.dll oleaut32.dll ws2_32.dll setupapi.dll hid.dll msvcrt.dll winspool.drv
    shlwapi.dll version.dll)

# Export names: the lines under "[Ordinal/Name Pointer] Table", each "\t[   3] Name", up to the
# first blank line.
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(exports "")
set(in_table FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_table TRUE)
  elseif(in_table AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND exports "${CMAKE_MATCH_1}")
  elseif(in_table)
    set(in_table FALSE)
  endif()
endforeach()

set(failures "")
foreach(name IN LISTS required_exports)
  if(NOT name IN_LIST exports)
    list(APPEND failures "missing export: ${name}")
  endif()
endforeach()
foreach(name IN LISTS exports)
  if(name MATCHES "@|^_")
    list(APPEND failures "decorated export: ${name}")
  endif()
endforeach()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(imported "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "^DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  list(APPEND imported "${dll}")
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
    list(APPEND failures "imports a non-system DLL: ${dll}")
  endif()
endforeach()

list(LENGTH exports export_count)
list(JOIN imported " " imported_text)
message(STATUS "${MODULE}: ${export_count} exports; imports ${imported_text}")
if(failures)
  list(JOIN failures "\n  " failure_text)
  message(FATAL_ERROR "module check failed:\n  ${failure_text}")
endif()
