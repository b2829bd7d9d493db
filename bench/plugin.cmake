# SPDX-License-Identifier: GPL-3.0-or-later
# Included from bench/CMakeLists.txt: the CPU time of the LV2 plugin's run()
# per cycle, in the tests' lilv host (whose worker runs between cycles, so
# only run() itself is timed).
find_package(PkgConfig REQUIRED)
find_package(GTest REQUIRED)
pkg_check_modules(LILV REQUIRED IMPORTED_TARGET lilv-0)
add_executable(plugin_run_timing
  ${CMAKE_CURRENT_LIST_DIR}/plugin_run_timing.cpp
  ${PROJECT_SOURCE_DIR}/tests/plugin/lv2_host.cpp
  ${PROJECT_SOURCE_DIR}/tests/plugin/lv2_host_features.cpp
  ${PROJECT_SOURCE_DIR}/tests/plugin/allocation_counter.cpp
  ${PROJECT_SOURCE_DIR}/tests/cli/subprocess.cpp)
target_include_directories(plugin_run_timing PRIVATE
  ${PROJECT_SOURCE_DIR}/tests/plugin ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(plugin_run_timing PRIVATE PkgConfig::LILV GTest::gtest sonavela::warnings)
target_compile_definitions(plugin_run_timing PRIVATE
  SONAVELA_CMAKE_COMMAND="${CMAKE_COMMAND}"
  SONAVELA_PROJECT_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(plugin_run_timing sonavela_plugin)
