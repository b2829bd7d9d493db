# SPDX-License-Identifier: GPL-3.0-or-later
# Tick timing of the playback loop: lateness and drift of 200 ticks at 50 ms
# through the command line's own loop and the MIDI port. A program printing
# figures, since it measures wall-clock behaviour rather than throughput.
add_executable(sonavela_playback_tick_timing ${CMAKE_CURRENT_LIST_DIR}/playback_tick_timing.cpp)
target_link_libraries(sonavela_playback_tick_timing PRIVATE sonavela::cli sonavela::warnings)

# Resident memory over a million chords: printed, the goal is no growth.
add_executable(sonavela_playback_memory ${CMAKE_CURRENT_LIST_DIR}/playback_memory.cpp)
target_link_libraries(sonavela_playback_memory PRIVATE sonavela::cli sonavela::warnings)
