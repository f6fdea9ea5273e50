# Runs check_interfaces on the module, then on a copy whose status words are
# declared intent(in), which it must refuse: a check that accepts anything
# cannot pass unnoticed. Variables: CHECK, SOURCES, WORKDIR.
if(NOT EXISTS "${CHECK}")
  message(FATAL_ERROR "${CHECK} does not exist: build the target keld_fortran_check_interfaces first")
endif()
execute_process(COMMAND ${CHECK} ${SOURCES} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Fortran module does not match keld/keld.h:\n${err}")
endif()

file(READ ${SOURCES} text)
string(REPLACE "intent(inout) :: kstat" "intent(in) :: kstat" altered "${text}")
if(altered STREQUAL text)
  message(FATAL_ERROR "no status word to alter in ${SOURCES}")
endif()
file(WRITE ${WORKDIR}/keld_altered.f90 "${altered}")
execute_process(COMMAND ${CHECK} ${WORKDIR}/keld_altered.f90 RESULT_VARIABLE status ERROR_VARIABLE err)
if(status EQUAL 0 OR NOT err MATCHES "declared intent\\(in\\)")
  message(FATAL_ERROR "the check accepted status words declared intent(in) (exit ${status}):\n${err}")
endif()
message("altered module refused as expected")
