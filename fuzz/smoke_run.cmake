# One bounded fuzzing run: -DFUZZER -DCORPUS -DWORK -DRUNS -DMAX_LEN [-DMIN_CYCLES].
# The committed corpus is read only; what the run adds goes to WORK. A crash, a leak or a broken
# invariant fails the run and leaves the input beside WORK as crash-* (or leak-*, timeout-*).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -seed=1 -max_len=${MAX_LEN} -timeout=30 -max_total_time=500
          -print_final_stats=1 -artifact_prefix=${WORK}- ${WORK} ${CORPUS}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
string(REGEX MATCHALL "[^\n]*(stat::|report cycles|INFO: seed|Done |ERROR|SUMMARY|invariant)[^\n]*"
       summary "${output}")
string(REPLACE ";" "\n" summary "${summary}")
message("${summary}")
if(NOT result EQUAL 0)
  message("${output}")
  message(FATAL_ERROR "the fuzzer failed (exit ${result})")
endif()
if(MIN_CYCLES)
  if(NOT output MATCHES "report cycles: ([0-9]+)")
    message(FATAL_ERROR "the fuzzer did not report its cycle count")
  endif()
  if(CMAKE_MATCH_1 LESS MIN_CYCLES)
    message(FATAL_ERROR "only ${CMAKE_MATCH_1} report cycles, fewer than ${MIN_CYCLES}")
  endif()
endif()
