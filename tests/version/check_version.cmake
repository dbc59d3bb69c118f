# cmake -DPROGRAM=FILE -DEXPECTED=TEXT -P check_version.cmake: runs `FILE --version` and fails
# unless it exits with 0 and prints exactly the line TEXT on standard output, nothing on error.
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE status OUTPUT_VARIABLE output
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT output STREQUAL "${EXPECTED}\n" OR NOT errors STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --version: status ${status}, printed '${output}', errors '${errors}'")
endif()
