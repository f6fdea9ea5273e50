# Runs the Fortran example on a case, then checks its output with the C++
# evaluation of the same state. Variables: EXAMPLE, CHECK, CASE, OUTPUT.
# A second pass alters one printed value and expects the check to refuse it,
# so a check that accepts anything cannot pass unnoticed.
foreach(program EXAMPLE CHECK)
  if(NOT EXISTS "${${program}}")
    get_filename_component(target "${${program}}" NAME)
    message(FATAL_ERROR "${${program}} does not exist: build it first "
      "(cmake --build <build> --target ${target})")
  endif()
endforeach()
execute_process(COMMAND ${EXAMPLE} ${CASE} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE example_status)
file(READ ${OUTPUT} printed)
message("${printed}")
if(NOT example_status EQUAL 0)
  message(FATAL_ERROR "the Fortran example failed (exit status ${example_status})")
endif()
execute_process(COMMAND ${CHECK} ${CASE} ${OUTPUT} RESULT_VARIABLE check_status ERROR_VARIABLE check_errors)
if(NOT check_status EQUAL 0)
  message(FATAL_ERROR "the Fortran example's results differ from the C++ evaluation "
    "(exit ${check_status}):\n${check_errors}")
endif()

# The leading digit of the Sanchez-Lacombe entropy becomes 1 (or 2 if it was 1).
string(REGEX MATCH "KELD_ESSLP S +-?([0-9])\\." entropy "${printed}")
if(NOT entropy)
  message(FATAL_ERROR "no Sanchez-Lacombe entropy line in the example's output")
endif()
set(digit 1)
if(CMAKE_MATCH_1 STREQUAL "1")
  set(digit 2)
endif()
string(REGEX REPLACE "(KELD_ESSLP S +-?)[0-9]\\." "\\1${digit}." altered "${printed}")
file(WRITE ${OUTPUT}.altered "${altered}")
execute_process(COMMAND ${CHECK} ${CASE} ${OUTPUT}.altered RESULT_VARIABLE altered_status ERROR_VARIABLE refused)
if(altered_status EQUAL 0)
  message(FATAL_ERROR "the check accepted an altered entropy")
endif()
message("altered output refused as expected: ${refused}")
