# Runs a program and passes when its standard output and exit code are the expected ones.
# Windows programs end their lines with CRLF: CRLF is read as LF, a lone CR stays as it is.
#
#   cmake -DRUN="program|argument|..." -DEXPECTED_OUTPUT=file -DEXIT_CODE=n -P expect_output.cmake
string(REPLACE "|" ";" run "${RUN}")
execute_process(COMMAND ${run}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" output "${output}")
file(READ "${EXPECTED_OUTPUT}" expected)

set(failures "")
if(NOT status STREQUAL "${EXIT_CODE}")
  string(APPEND failures "exit code: ${status}, expected ${EXIT_CODE}\n")
endif()
if(NOT output STREQUAL expected)
  # Line ends made visible, so a stray CR or a missing final LF shows.
  foreach(text output expected)
    string(REPLACE "\r" "<CR>" ${text} "${${text}}")
    string(REPLACE "\n" "<LF>\n" ${text} "${${text}}")
  endforeach()
  string(APPEND failures "standard output:\n${output}\nexpected (${EXPECTED_OUTPUT}):\n${expected}\n")
endif()
if(failures)
  list(JOIN run " " command_line)
  message("${command_line}\n${failures}standard error:\n${errors}")
  message(FATAL_ERROR "the output or the exit code is not the expected one")
endif()
