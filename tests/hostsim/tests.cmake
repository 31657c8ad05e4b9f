# The host simulator's own tests: its parts (scenario parser, machine model, profile writer,
# session plot) as unit tests, its live mode on the real clock, the pictures its --plot draws
# read back, and the user guide's pictures it draws compared with the committed ones.
if(NOT TARGET k4-hostsim)
  return()
endif()

file(GLOB K4_HOSTSIM_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_executable(k4_hostsim_tests ${K4_HOSTSIM_TESTS})
target_link_libraries(k4_hostsim_tests PRIVATE k4_hostsim_machine k4_test_support GTest::gmock_main)
gtest_discover_tests(k4_hostsim_tests DISCOVERY_TIMEOUT 60)

set(K4_SCENARIO_DIR ${CMAKE_CURRENT_LIST_DIR}/../scenarios)

# Live mode with whatever pendant there is (the virtual one on a machine without a pendant)
# starts, runs the timer and Update on the real clock, and shuts down cleanly.
add_test(NAME hostsim.live_smoke COMMAND k4-hostsim --live --duration 0.3)
set_tests_properties(hostsim.live_smoke PROPERTIES
                     PASS_REGULAR_EXPRESSION "# live: [0-9]+ cycles, [0-9]+ updates; pendant ")

# The session plot (--plot): what it draws is read back and compared with the simulator's own
# lines; an empty scenario and a 10-minute recorded session give valid, bounded pictures.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(K4_PLOT_CHECK ${CMAKE_CURRENT_LIST_DIR}/plot_check.py)
  foreach(name velocity_jog step_jog config_dialog demo)
    add_test(NAME hostsim.plot.${name}
             COMMAND Python3::Interpreter ${K4_PLOT_CHECK} content $<TARGET_FILE:k4-hostsim>
                     ${K4_SCENARIO_DIR}/${name}.k4)
  endforeach()
  add_test(NAME hostsim.plot.empty
           COMMAND Python3::Interpreter ${K4_PLOT_CHECK} empty $<TARGET_FILE:k4-hostsim>)
  add_test(NAME hostsim.plot.long_session
           COMMAND Python3::Interpreter ${K4_PLOT_CHECK} long $<TARGET_FILE:k4-hostsim>
                   ${CMAKE_CURRENT_LIST_DIR}/long_session.py)
endif()

# The user guide's pictures that the simulator draws (the tuning chart, the demo session) are
# drawn again and must equal the committed ones, so the guide cannot drift from the plug-in.
if(Python3_Interpreter_FOUND)
  add_test(NAME guide.simulator_pictures
           COMMAND Python3::Interpreter
                   ${CMAKE_SOURCE_DIR}/scripts/pictures/draw-simulator-pictures.py
                   --check $<TARGET_FILE:k4-hostsim>)
endif()

# Copies of the simulator outside the build (tarball, installed bin/ + lib/) load the plug-in
# placed with them, and never this build's.
include(GNUInstallDirs)
add_test(NAME hostsim.relocated
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/relocated.sh $<TARGET_FILE:k4-hostsim>
                 $<TARGET_FILE:Orvane_K4> ${CMAKE_INSTALL_LIBDIR})
