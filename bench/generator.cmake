# SPDX-License-Identifier: GPL-3.0-or-later
# Included from bench/CMakeLists.txt. A program that prints its figures:
# Advance over 10,000 steps for several tables, the literal search beside it.
add_executable(generator_bench ${CMAKE_CURRENT_LIST_DIR}/generator_advance_bench.cpp)
target_include_directories(generator_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../tests/generator)
target_link_libraries(generator_bench PRIVATE sonavela::generator sonavela::warnings)

# The rule check's time on the default tables and on random ones up to 1000+1000.
add_executable(rule_check_bench ${CMAKE_CURRENT_LIST_DIR}/rule_check_bench.cpp)
target_include_directories(rule_check_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../tests/generator)
target_link_libraries(rule_check_bench PRIVATE sonavela::generator sonavela::warnings)
