# Black-box scenarios: the host simulator drives the plug-in through its exports and its output
# is compared with the expected timeline (tests/scenarios/NAME.k4 -> NAME.out). Rejected
# scenarios (tests/scenarios/errors/NAME.k4 -> NAME.err) must exit 2 having run nothing.
# K4_UPDATE_SCENARIOS=1 ctest --preset posix -R scenario rewrites the expected files.
if(NOT TARGET k4-hostsim)
  return()
endif()

set(K4_SCENARIO_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB K4_SCENARIOS CONFIGURE_DEPENDS ${K4_SCENARIO_DIR}/*.k4)
foreach(scenario ${K4_SCENARIOS})
  get_filename_component(name ${scenario} NAME_WE)
  add_test(NAME scenario.${name}
           COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:k4-hostsim> -DSCRIPT=${scenario}
                   -DEXPECT_OUT=${K4_SCENARIO_DIR}/${name}.out
                   -P ${K4_SCENARIO_DIR}/run_scenario.cmake)
endforeach()

file(GLOB K4_BAD_SCENARIOS CONFIGURE_DEPENDS ${K4_SCENARIO_DIR}/errors/*.k4)
foreach(scenario ${K4_BAD_SCENARIOS})
  get_filename_component(name ${scenario} NAME_WE)
  add_test(NAME scenario.error.${name}
           COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:k4-hostsim> -DSCRIPT=${scenario}
                   -DEXPECT_ERR=${K4_SCENARIO_DIR}/errors/${name}.err
                   -P ${K4_SCENARIO_DIR}/run_scenario.cmake)
endforeach()

# A scenario file that does not exist.
add_test(NAME scenario.error.missing_file
         COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:k4-hostsim>
                 -DSCRIPT=${K4_SCENARIO_DIR}/errors/no-such-scenario.k4
                 -DEXPECT_ERR=${K4_SCENARIO_DIR}/errors/missing_file.err
                 -P ${K4_SCENARIO_DIR}/run_scenario.cmake)

# The built-in demo runs to its end without an error.
add_test(NAME scenario.builtin_demo COMMAND k4-hostsim)
