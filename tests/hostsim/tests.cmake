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
# Its default profile goes to the build tree, not to the home folder of whoever runs the tests.
set_tests_properties(hostsim.live_smoke PROPERTIES
                     PASS_REGULAR_EXPRESSION "# live: [0-9]+ cycles, [0-9]+ updates; pendant "
                     ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg")

# Live sessions typed into a pseudo-terminal: the first key counts, a held arrow key is one
# jog, a recorded session replays alone to the same host actions and end positions (and an
# existing record is kept), a node that is no pendant is refused, q ends a session whose pendant
# is read over hidraw, a pendant node the user may not open ends the run with the commands
# that fix it, a --plot path that cannot be written is refused before the session.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  foreach(mode first-key hold device-null quit-hidraw bad-plot)
    add_test(NAME hostsim.live_keys.${mode}
             COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/live_keys.py ${mode}
                     $<TARGET_FILE:k4-hostsim>)
  endforeach()
  foreach(mode replay denied)
    add_test(NAME hostsim.live_keys.${mode}
             COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/live_keys.py ${mode}
                     $<TARGET_FILE:k4-hostsim> ${CMAKE_CURRENT_BINARY_DIR})
  endforeach()
  # Run by root, the denied case runs the simulator as nobody, which a closed folder may stop.
  set_tests_properties(hostsim.live_keys.denied PROPERTIES SKIP_RETURN_CODE 77)
  # A live session without --profile keeps its settings in the user's configuration folder:
  # the build tree's, not the home folder of whoever runs the tests.
  set_tests_properties(
    hostsim.live_keys.first-key hostsim.live_keys.hold hostsim.live_keys.device-null
    hostsim.live_keys.quit-hidraw hostsim.live_keys.bad-plot hostsim.live_keys.replay
    hostsim.live_keys.denied
    PROPERTIES ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg")
endif()

# The live dashboard in a tmux pane, its screens captured: the mode's name, the DROs, an unplug,
# the key legend in 80 columns, the files named on quit, a terminal too small, TERM=dumb, and
# the terminal raw again after Ctrl-Z and fg. tmux comes with scripts/setup/debian.sh.
find_program(K4_TMUX tmux)
if(Python3_Interpreter_FOUND AND K4_TMUX)
  foreach(mode screens small dumb suspend)
    add_test(NAME hostsim.dashboard.${mode}
             COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/dashboard_tmux.py ${mode}
                     $<TARGET_FILE:k4-hostsim> ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(hostsim.dashboard.${mode} PROPERTIES
                         ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/xdg")
  endforeach()
endif()

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

# The settings from the outside: --version, the terminal configuration dialog saving to the
# profile (also the LinuxCNC bridge's, which needs no LinuxCNC for it), the default profile in
# the XDG folder, and profiles that cannot be used or lack the pendant's section.
if(Python3_Interpreter_FOUND)
  set(K4_SETTINGS_PROGRAMS $<TARGET_FILE:k4-hostsim>)
  if(TARGET k4-linuxcnc)
    list(APPEND K4_SETTINGS_PROGRAMS $<TARGET_FILE:k4-linuxcnc>)
  endif()
  add_test(NAME hostsim.settings
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/settings_check.py
                   ${K4_SETTINGS_PROGRAMS})
endif()

# Copies of the simulator outside the build (tarball, installed bin/ + lib/) load the plug-in
# placed with them, and never this build's.
include(GNUInstallDirs)
add_test(NAME hostsim.relocated
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/relocated.sh $<TARGET_FILE:k4-hostsim>
                 $<TARGET_FILE:Orvane_K4> ${CMAKE_INSTALL_LIBDIR})
