# Runs a table generator, GENERATOR (the land table's, the fit's model table),
# to OUTPUT and fails unless the result equals the committed COMMITTED byte
# for byte.
execute_process(COMMAND ${GENERATOR} ${OUTPUT} RESULT_VARIABLE rc OUTPUT_VARIABLE report
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed (${rc}):\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED}
                RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${COMMITTED} is not what the generator writes (${OUTPUT}); "
                      "rerun ${GENERATOR} and commit its output.\n${report}")
endif()
message(STATUS "${report}")
