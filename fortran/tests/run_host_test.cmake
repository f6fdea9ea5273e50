# Runs the Fortran program that builds its hosts without case files, then
# `keld eval --json` on the same systems' case files, and compares the values
# (compare_with_eval). Variables: PROGRAM, CLI, COMPARE, WORKDIR and CASES
# (comma-separated <case>=<file.json>).
foreach(tool PROGRAM CLI COMPARE)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "${${tool}} does not exist: build it first (cmake --build <build> --target <its name>)")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORKDIR})
execute_process(COMMAND ${PROGRAM} OUTPUT_FILE ${WORKDIR}/fortran.txt ERROR_VARIABLE err RESULT_VARIABLE status)
file(READ ${WORKDIR}/fortran.txt printed)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Fortran program failed (exit ${status}):\n${printed}${err}")
endif()
string(REGEX MATCH "# captured [^\n]*" captured "${printed}")
message("${captured}")

string(REPLACE "," ";" cases "${CASES}")
set(arguments)
foreach(entry IN LISTS cases)
  string(REGEX MATCH "^([^=]+)=(.*)$" ok "${entry}")
  set(name ${CMAKE_MATCH_1})
  execute_process(COMMAND ${CLI} eval --json ${CMAKE_MATCH_2} OUTPUT_FILE ${WORKDIR}/${name}.json
    ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "keld eval --json ${CMAKE_MATCH_2} failed (exit ${status}): ${err}")
  endif()
  list(APPEND arguments ${name}=${WORKDIR}/${name}.json)
endforeach()

execute_process(COMMAND ${COMPARE} ${WORKDIR}/fortran.txt ${arguments} RESULT_VARIABLE status
  OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the Fortran-built hosts' results differ from keld eval:\n${err}")
endif()
message("${out}")

