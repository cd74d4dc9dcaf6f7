# cmake -DPROGRAM=/path/Tarlo01 [-DEMULATOR=...] -P CheckWindowCommandLine.cmake, without a display:
# each command line gets its exit code and its words, and none starts the window (which would
# abort without a display, or run until the timeout).
set(failures "")
foreach(case "--help|0|Usage: Tarlo01" "-h|0|Usage: Tarlo01" "--version|0|Tarlo01 "
             "--bogus|2|unknown option --bogus" "-platform|2|unknown option -platform"
             "tarlo02.ini|2|unexpected argument 'tarlo02.ini'" "--help,--now|2|unknown option --now")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 args)
  list(GET parts 1 expected_code)
  list(GET parts 2 expected_text)
  string(REPLACE "," ";" args "${args}")
  execute_process(COMMAND ${EMULATOR} "${PROGRAM}" ${args} RESULT_VARIABLE code OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 20)
  string(FIND "${out}${err}" "${expected_text}" at)
  if(NOT code STREQUAL expected_code OR at EQUAL -1)
    string(APPEND failures "\n  Tarlo01 ${args}: exit '${code}', said '${out}${err}'")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "the window's command line:${failures}")
endif()
