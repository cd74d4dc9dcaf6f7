# tarlo_package_version_fits(RESULT PACKAGE_VERSION PROJECT_VERSION): RESULT is TRUE when a
# package's version (a Debian changelog's, with any epoch, revision or suffix) is a build of the
# project's version: it starts with that version, and what follows cannot continue its number.
#   1.0, 1.0-2, 2:1.0-1, 1.0+b1, 1.0~bpo12+1, 1.0ubuntu1   fit 1.0
#   1.1, 1.01, 1.0.1, 0:1.1                                 do not
function(tarlo_package_version_fits result package project)
  string(REGEX REPLACE "^[0-9]+:" "" upstream "${package}")
  string(LENGTH "${project}" length)
  string(LENGTH "${upstream}" upstream_length)
  set(head "")
  set(rest "")
  if(upstream_length GREATER_EQUAL length)
    string(SUBSTRING "${upstream}" 0 ${length} head)
    string(SUBSTRING "${upstream}" ${length} -1 rest)
  endif()
  if(NOT project STREQUAL "" AND head STREQUAL project AND NOT rest MATCHES "^[0-9.]")
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
