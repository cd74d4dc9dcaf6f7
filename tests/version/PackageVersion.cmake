# cmake -P PackageVersion.cmake: which Debian versions the package build takes as builds of 1.0.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/PackageVersion.cmake)
set(failures "")
foreach(case "1.0=TRUE" "1.0-1=TRUE" "1.0-2=TRUE" "2:1.0-1=TRUE" "1.0+b1=TRUE" "1.0~bpo12+1=TRUE"
             "1.0ubuntu1=TRUE" "1.1=FALSE" "1.01=FALSE" "1.0.1=FALSE" "0:1.1-1=FALSE" "11.0=FALSE"
             "1=FALSE" "x1.0=FALSE")
  string(REPLACE "=" ";" parts "${case}")
  list(GET parts 0 version)
  list(GET parts 1 expected)
  tarlo_package_version_fits(fits "${version}" "1.0")
  if(NOT fits STREQUAL expected)
    string(APPEND failures "\n  '${version}': ${fits}, expected ${expected}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "package versions taken wrongly as builds of 1.0:${failures}")
endif()
