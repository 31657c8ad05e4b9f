# The LinuxCNC bridge against a headless LinuxCNC (tests/linuxcnc/sim). LinuxCNC allows one
# instance per machine: these tests hold one resource lock, run one at a time, and each
# starts and stops its own LinuxCNC (tests/linuxcnc/with-linuxcnc.sh cleans up after it even
# when the test fails or times out). Label "linuxcnc": run with `ctest --preset linuxcnc`
# (step linuxcnc of scripts/test-all.sh); the posix preset leaves them out.
if(NOT TARGET k4-linuxcnc)
  return()
endif()
# The mapping against a scripted controller: no LinuxCNC needed, part of the posix tests.
add_executable(k4_linuxcnc_tests ${CMAKE_CURRENT_LIST_DIR}/bridge_test.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/actions_test.cpp)
target_link_libraries(k4_linuxcnc_tests PRIVATE k4_linuxcnc_bridge k4core GTest::gmock_main
                                                k4_warnings)
gtest_discover_tests(k4_linuxcnc_tests DISCOVERY_TIMEOUT 60)

find_program(K4_LINUXCNC_SCRIPT linuxcnc)
find_program(K4_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT K4_LINUXCNC_SCRIPT OR NOT K4_SYSTEM_PYTHON)
  return()
endif()

set(K4_LINUXCNC_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/linuxcnc)
add_test(NAME linuxcnc.end_to_end
         COMMAND ${K4_LINUXCNC_TEST_DIR}/with-linuxcnc.sh --timeout 240
                 ${K4_SYSTEM_PYTHON} ${K4_LINUXCNC_TEST_DIR}/e2e_check.py
                 --bridge $<TARGET_FILE:k4-linuxcnc>)
# The runner stops LinuxCNC itself after 240 s; CTest's limit is the last resort.
set_tests_properties(linuxcnc.end_to_end PROPERTIES LABELS linuxcnc RESOURCE_LOCK linuxcnc
                     TIMEOUT 300)

# A gantry (XYYZ, Y on two joints) that is also an inch machine: homing through the
# kinematics, and the default step speed in machine units.
add_test(NAME linuxcnc.gantry
         COMMAND ${K4_LINUXCNC_TEST_DIR}/with-linuxcnc.sh --timeout 120 --ini k4gantry.ini
                 ${K4_SYSTEM_PYTHON} ${K4_LINUXCNC_TEST_DIR}/e2e_check.py --gantry
                 --bridge $<TARGET_FILE:k4-linuxcnc>)
set_tests_properties(linuxcnc.gantry PROPERTIES LABELS linuxcnc RESOURCE_LOCK linuxcnc
                     TIMEOUT 180)

# Without LinuxCNC running the bridge says so and exits 1, rather than hanging or crashing.
add_test(NAME linuxcnc.no_linuxcnc COMMAND k4-linuxcnc --profile /dev/null --actions /dev/null
                                           --nml /nonexistent.nml)
set_tests_properties(linuxcnc.no_linuxcnc PROPERTIES LABELS linuxcnc RESOURCE_LOCK linuxcnc
                     WILL_FAIL OFF PASS_REGULAR_EXPRESSION "cannot open LinuxCNC's NML channels")
