# cmake -DVERSION=1.0 "-DPROGRAMS=/path/a;/path/b" [-DEMULATOR=qemu-aarch64-static] -P CheckVersion.cmake
# Runs each program (under EMULATOR, a cross build's, when given) with --version: it must exit 0 at once and print "<name> <VERSION>" alone.
# A program that does not know the option would start instead; the timeout stops it.
if(NOT VERSION OR NOT PROGRAMS)
  message(FATAL_ERROR "VERSION and PROGRAMS are needed")
endif()
set(failures "")
foreach(program IN LISTS PROGRAMS)
  get_filename_component(name "${program}" NAME)
  execute_process(COMMAND ${EMULATOR} "${program}" --version RESULT_VARIABLE code OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 20)
  if(NOT code STREQUAL "0" OR NOT out STREQUAL "${name} ${VERSION}\n")
    string(APPEND failures "\n  ${name} --version: exit '${code}', printed '${out}' ${err}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "programs without the project's version:${failures}")
endif()
