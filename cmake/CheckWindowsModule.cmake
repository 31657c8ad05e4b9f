# Checks the built Windows plug-in module the way the host's machine meets it, from the
# toolchain objdump's dump of its headers (`objdump -p`):
#
#   CHECK=exports     every entry point exported under its plain name, and nothing imported
#                     beyond the system's own DLLs (the host's machine has no MinGW run-time);
#   CHECK=xp-imports  the import audit: the module must load on Windows XP SP3, so it may import
#                     no function that XP SP3 lacks, from no DLL that XP lacks, and its header may
#                     not ask for a later system. A module that breaks this loads nowhere older
#                     than the system the function came with: the host then shows only that our
#                     module could not be loaded.
#
#   cmake -DCHECK=<check> -DOBJDUMP=<toolchain objdump> -DMODULE=<Orvane_K4.dll> -P <this file>
#   cmake -DCHECK=<check> -DDUMP=<saved objdump -p output> -P <this file>   (the check's own test)
cmake_minimum_required(VERSION 3.25)

set(usage "usage: cmake -DCHECK=exports|xp-imports -DOBJDUMP=<objdump> -DMODULE=<dll> \
-P ${CMAKE_SCRIPT_MODE_FILE}")
if(NOT CHECK STREQUAL "exports" AND NOT CHECK STREQUAL "xp-imports")
  message(FATAL_ERROR "${usage}")
endif()
if(DUMP)
  file(READ "${DUMP}" dump)
  set(MODULE "${DUMP}")
elseif(OBJDUMP AND MODULE)
  if(NOT EXISTS "${MODULE}")
    message(FATAL_ERROR "module not found: ${MODULE}")
  endif()
  execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${MODULE}")
  endif()
else()
  message(FATAL_ERROR "${usage}")
endif()
# One list element per line of the dump (a ";" in it would split a line).
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(failures "")

if(CHECK STREQUAL "exports")
  set(required_exports
      SetDoButton SetSetDRO SetGetDRO SetGetLED SetSetLED SetCode SetProName InitControl
      PostInitControl Config Update StopPlug DoDwell Reset JogOn JogOff Purge Probe Home
      DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer)

  # Lower-case names of the system DLLs the module may import.
  set(system_dlls
      kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comctl32.dll comdlg32.dll
      ole32.dll oleaut32.dll ws2_32.dll setupapi.dll hid.dll msvcrt.dll winspool.drv
      shlwapi.dll version.dll)

  # Export names: the lines under "[Ordinal/Name Pointer] Table", each "\t[   3] Name", up to
  # the first blank line.
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
  return()
endif()

# ---- CHECK=xp-imports ---------------------------------------------------------------------------
# Functions that Windows XP SP3 does not have (each a regular expression over the whole name).
# The families the toolchain's own run-times are known to pull in come first.
set(later_functions
    # Vista and later, used by the POSIX-threads run-time and by C++ synchronisation
    "GetTickCount64"
    ".*SRWLock.*"
    ".*ConditionVariable.*"
    "InitOnce.*"
    "Fls(Alloc|Free|GetValue|SetValue)"
    "Create(Event|Mutex|Semaphore|WaitableTimer)Ex[AW]?"
    "InitializeCriticalSectionEx"
    "CreateThreadpool.*" "SubmitThreadpoolWork" ".*ThreadpoolWork.*"
    # Vista and later, file and I/O
    "CancelIoEx" "CancelSynchronousIo"
    "GetFileInformationByHandleEx" "SetFileInformationByHandle"
    "GetFinalPathNameByHandle[AW]?"
    "CreateSymbolicLink[AW]?" "CreateFile2" "GetFileMUIPath"
    "SetFileCompletionNotificationModes" "GetQueuedCompletionStatusEx"
    # Vista and later, locale names, system and process information
    "LocaleNameToLCID" "LCIDToLocaleName" "GetLocaleInfoEx" "CompareStringEx" "LCMapStringEx"
    "GetUserDefaultLocaleName" "GetSystemDefaultLocaleName" "ResolveLocaleName"
    "GetSystemTimePreciseAsFileTime" "GetCurrentProcessorNumber(Ex)?" "GetErrorMode"
    "QueryFullProcessImageName[AW]?" "QueryThreadCycleTime" "QueryProcessCycleTime"
    "GetThreadErrorMode" "SetThreadErrorMode" "GetProductInfo"
    "RaiseFailFastException" "SetThreadStackGuarantee"
    # Vista and later, registry, shell, sockets, windows
    "RegGetValue[AW]" "RegDeleteTree[AW]" "RegSetKeyValue[AW]" "RegDeleteKeyEx[AW]"
    "RegCopyTree[AW]" "RegLoadMUIString[AW]"
    "SHGetKnownFolderPath" "SHCreateItemFromParsingName"
    "WSAPoll" "inet_pton" "inet_ntop" "InetPton[AW]?" "InetNtop[AW]?" "GetAddrInfoW"
    "ChangeWindowMessageFilter(Ex)?" "SetProcessDPIAware" "IsProcessDPIAware"
    "GetDpiForWindow" "GetDpiForSystem" "TaskDialog(Indirect)?")

# msvcrt.dll of XP has none of the secure "_s" functions (they came with Vista's copy).
set(later_msvcrt_functions ".*_s" ".*_s_l" "_(w)?(dupenv|sopen)_s" "qsort_s" "bsearch_s")

# DLLs that XP has not: the API sets (Windows 7 and later) and the newer C run-times.
set(later_dlls "api-ms-win-.*" "ext-ms-win-.*" "ucrtbase.*\\.dll" "vcruntime.*\\.dll"
               "msvcr[0-9]+\\.dll" "msvcp[0-9]+\\.dll" "bcrypt\\.dll" "dwmapi\\.dll"
               "propsys\\.dll" "ncrypt\\.dll")

set(dll "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(STRIP "${CMAKE_MATCH_1}" dll)
    string(TOLOWER "${dll}" dll)
    foreach(pattern IN LISTS later_dlls)
      if(dll MATCHES "^${pattern}$")
        list(APPEND failures "${dll}: a DLL that Windows XP does not have")
      endif()
    endforeach()
  elseif(dll AND line MATCHES "^\t[0-9a-fA-F]+\t +[0-9]+  ([A-Za-z_][A-Za-z0-9_@?$]*)")
    set(name "${CMAKE_MATCH_1}")
    math(EXPR count "${count} + 1")
    set(patterns ${later_functions})
    if(dll STREQUAL "msvcrt.dll")
      list(APPEND patterns ${later_msvcrt_functions})
    endif()
    foreach(pattern IN LISTS patterns)
      if(name MATCHES "^${pattern}$")
        list(APPEND failures "${dll}!${name}: not in Windows XP SP3")
        break()
      endif()
    endforeach()
  elseif(line MATCHES "^$")
  elseif(line MATCHES "^The Export Tables")
    set(dll "")
  endif()
endforeach()

# The header: a module asking for a later system version is refused by the XP loader.
foreach(field OSystem Subsystem)
  if(dump MATCHES "Major${field}Version[ \t]+([0-9]+)[^M]*Minor${field}Version[ \t]+([0-9]+)")
    set(major ${CMAKE_MATCH_1})
    set(minor ${CMAKE_MATCH_2})
    if(major GREATER 5 OR (major EQUAL 5 AND minor GREATER 1))
      list(APPEND failures "the header asks for ${field} version ${major}.${minor}, XP is 5.1")
    endif()
  else()
    list(APPEND failures "no ${field} version in the header dump")
  endif()
endforeach()

if(count EQUAL 0)
  list(APPEND failures "no imported function found: the dump was not understood")
endif()
message(STATUS "${MODULE}: ${count} imported functions checked against Windows XP SP3")
if(failures)
  list(REMOVE_DUPLICATES failures)
  list(JOIN failures "\n  " failure_text)
  message(FATAL_ERROR "import audit failed:\n  ${failure_text}")
endif()
