# Checks one built program's symbols (cmake -P):
#   MODE=module: FILE's dynamic symbols are exactly the entry points MAP lists, and its symbol
#                table names none of the host kit's stand-ins;
#   MODE=host:   FILE's symbol table names none of the plug-in's code.
# NM is the toolchain's nm.
function(symbols_of out)
  execute_process(COMMAND ${NM} ${ARGN} ${FILE} OUTPUT_VARIABLE text ERROR_VARIABLE error
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} ${ARGN} ${FILE} failed: ${error}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Fails naming every symbol of `text` (nm lines) that contains one of the names.
function(expect_none text what)
  string(REPLACE "\n" ";" lines "${text}")
  set(found "")
  foreach(line IN LISTS lines)
    foreach(name IN LISTS ARGN)
      string(FIND "${line}" "${name}" at)
      if(NOT at EQUAL -1)
        list(APPEND found "${line}")
      endif()
    endforeach()
  endforeach()
  if(found)
    list(REMOVE_DUPLICATES found)
    list(LENGTH found count)
    list(SUBLIST found 0 10 shown)
    string(REPLACE ";" "\n  " shown "${shown}")
    message(FATAL_ERROR "${FILE} holds ${count} symbols of ${what}, among them:\n  ${shown}")
  endif()
endfunction()

if(MODE STREQUAL "module")
  file(READ ${MAP} map)
  string(REGEX MATCH "global:([^}]*)local:" global "${map}")
  string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
  list(SORT expected)

  symbols_of(dynamic -D --defined-only)
  string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${dynamic}")
  set(exported "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
    list(APPEND exported "${name}")
  endforeach()
  list(SORT exported)
  if(NOT exported STREQUAL expected)
    message(FATAL_ERROR "${FILE} exports\n  ${exported}\nbut the entry points are\n  ${expected}")
  endif()
  list(LENGTH expected count)

  symbols_of(all -C)
  expect_none("${all}" "the host kit's stand-ins" VirtualPendant ScriptedDialogView)
  message(STATUS "${FILE}: the ${count} entry points only, no stand-in")
elseif(MODE STREQUAL "host")
  # Mangled and demangled: a C++ symbol of the core shows its class in either form.
  symbols_of(mangled)
  symbols_of(demangled -C)
  expect_none("${mangled}\n${demangled}" "the plug-in's code" InitControl decodeMode
              PendantWindow)
  message(STATUS "${FILE}: none of the plug-in's code")
else()
  message(FATAL_ERROR "MODE must be module or host")
endif()
