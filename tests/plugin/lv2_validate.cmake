# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the bundle into PREFIX, as a user would, and checks its Turtle
# files with LV2_VALIDATE. The only lines it may print are its summary of no
# errors and the skipping of a file that lv2_validate lists but the system's
# LV2 package lacks (its list runs ahead of lv2-dev): anything about the
# bundle itself fails.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BINARY_DIR}" --prefix "${PREFIX}" --component lv2
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${log}")
endif()

set(bundle "${PREFIX}/lib/lv2/sonavela.lv2")
foreach(file manifest.ttl sonavela.ttl)
  if(NOT EXISTS "${bundle}/${file}")
    message(FATAL_ERROR "${bundle}/${file} was not installed:\n${log}")
  endif()
endforeach()

execute_process(
  COMMAND "${LV2_VALIDATE}" "${bundle}/manifest.ttl" "${bundle}/sonavela.ttl"
  RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "lv2_validate:\n${report}")

string(REGEX REPLACE "\r?\n$" "" lines "${report}")
string(REPLACE ";" "," lines "${lines}")
string(REPLACE "\n" ";" lines "${lines}")
set(summary FALSE)
set(problems "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Found 0 errors among [0-9]+ files")
    set(summary TRUE)
  elseif(NOT line MATCHES "^Skipping file /usr/lib/lv2/")
    string(APPEND problems "${line}\n")
  endif()
endforeach()
if(NOT status EQUAL 0 OR NOT summary OR NOT problems STREQUAL "")
  message(FATAL_ERROR "lv2_validate (exit status ${status}) found problems:\n${problems}")
endif()
