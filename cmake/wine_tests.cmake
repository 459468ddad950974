# Tests of the Windows build. Cross-built (the windows preset) they run under Wine through the
# build's emulator, scripts/wine-run.sh, each in a Wine prefix in the build tree that a setup
# fixture makes afresh at the start of every ctest run and leaves with a running wineserver,
# which a cleanup fixture stops at the end. Built on Windows they simply run.
#
#   mcc_add_windows_test(NAME name COMMAND target [args...] [DPI n] [TIME_LIMIT seconds])
#       COMMAND starts with an executable target of the build (or CMAKE_COMMAND, for a script
#       that starts one through the emulator). DPI (default 96) chooses the prefix, one per
#       DPI. TIME_LIMIT (default 120) bounds every single run of a program under Wine; ctest's
#       own limit is a minute more.
#   mcc_add_windows_output_test(NAME name COMMAND target [args...] EXPECTED_OUTPUT file
#                               [EXIT_CODE n] [DPI n] [TIME_LIMIT seconds])
#       the same, passing when the program's standard output (CRLF read as LF) is exactly the
#       file's text and its exit code is EXIT_CODE (default 0).
#
# Every one of these tests has the label "windows" (and "wine" when it runs under Wine).

set(MCC_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
# Seconds the wineserver of a prefix stays up once the last program in it ended. The tests
# follow one another closely; a run cut short leaves nothing running for longer than this.
set(MCC_WINE_SERVER_LINGER 60)
find_program(MCC_BASH bash REQUIRED)

# The prefix for a DPI and the fixture that makes it, defined on first use.
function(_mcc_wine_prefix dpi out_prefix out_fixture)
  if(dpi EQUAL 96)
    set(prefix ${MCC_WINE_DIR}/prefix)
    set(fixture wine_prefix)
  else()
    set(prefix ${MCC_WINE_DIR}/prefix-${dpi}dpi)
    set(fixture wine_prefix_${dpi}dpi)
  endif()
  get_property(defined GLOBAL PROPERTY MCC_WINE_FIXTURES)
  if(NOT fixture IN_LIST defined)
    set(script ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh)
    add_test(NAME windows.${fixture}.setup
      COMMAND ${MCC_BASH} ${script} new ${prefix} --dpi ${dpi} --server ${MCC_WINE_SERVER_LINGER})
    set_tests_properties(windows.${fixture}.setup PROPERTIES
      FIXTURES_SETUP ${fixture} TIMEOUT 900 LABELS "windows;wine")
    add_test(NAME windows.${fixture}.cleanup COMMAND ${MCC_BASH} ${script} stop ${prefix})
    set_tests_properties(windows.${fixture}.cleanup PROPERTIES
      FIXTURES_CLEANUP ${fixture} TIMEOUT 180 LABELS "windows;wine")
    set_property(GLOBAL APPEND PROPERTY MCC_WINE_FIXTURES ${fixture})
  endif()
  set(${out_prefix} ${prefix} PARENT_SCOPE)
  set(${out_fixture} ${fixture} PARENT_SCOPE)
endfunction()

function(mcc_add_windows_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;DPI;TIME_LIMIT" "COMMAND")
  if(NOT arg_NAME OR NOT arg_COMMAND OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "mcc_add_windows_test(NAME name COMMAND target [args...] [DPI n] "
                        "[TIME_LIMIT seconds]), not: ${ARGV}")
  endif()
  if(NOT arg_DPI)
    set(arg_DPI 96)
  endif()
  if(NOT arg_TIME_LIMIT)
    set(arg_TIME_LIMIT 120)
  endif()
  math(EXPR ctest_limit "${arg_TIME_LIMIT} + 60")
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${ctest_limit} LABELS windows)
  if(CMAKE_CROSSCOMPILING)
    _mcc_wine_prefix(${arg_DPI} prefix fixture)
    set_tests_properties(${arg_NAME} PROPERTIES
      FIXTURES_REQUIRED ${fixture}
      ENVIRONMENT "WINEPREFIX=${prefix};MCC_WINE_TIMEOUT=${arg_TIME_LIMIT}"
      LABELS "windows;wine")
  endif()
endfunction()

function(mcc_add_windows_output_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;DPI;TIME_LIMIT;EXPECTED_OUTPUT;EXIT_CODE"
                        "COMMAND")
  if(NOT arg_NAME OR NOT arg_COMMAND OR NOT arg_EXPECTED_OUTPUT OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "mcc_add_windows_output_test(NAME name COMMAND target [args...] "
                        "EXPECTED_OUTPUT file [EXIT_CODE n] [DPI n] [TIME_LIMIT seconds]), "
                        "not: ${ARGV}")
  endif()
  if(NOT DEFINED arg_EXIT_CODE)
    set(arg_EXIT_CODE 0)
  endif()
  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  # The command line travels as one argument, its items joined by "|".
  set(run ${CMAKE_CROSSCOMPILING_EMULATOR} ${program} ${arg_COMMAND})
  list(JOIN run "|" run)
  mcc_add_windows_test(NAME ${arg_NAME} DPI ${arg_DPI} TIME_LIMIT ${arg_TIME_LIMIT}
    COMMAND ${CMAKE_COMMAND} -DRUN=${run} -DEXPECTED_OUTPUT=${arg_EXPECTED_OUTPUT}
            -DEXIT_CODE=${arg_EXIT_CODE} -P ${PROJECT_SOURCE_DIR}/cmake/expect_output.cmake)
endfunction()
