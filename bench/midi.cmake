# SPDX-License-Identifier: GPL-3.0-or-later
# Included from bench/CMakeLists.txt: figures of the built-in synthesizer.
add_executable(midi_soundfont_load ${CMAKE_CURRENT_LIST_DIR}/midi_soundfont_load.cpp)
target_link_libraries(midi_soundfont_load PRIVATE sonavela::midi sonavela::warnings)

# What recording a long progression into a MIDI file costs.
add_executable(midi_file_recording ${CMAKE_CURRENT_LIST_DIR}/midi_file_recording.cpp)
target_link_libraries(midi_file_recording PRIVATE sonavela::midi sonavela::playback sonavela::warnings)

# How soon sonavela-cli plays into a JACK MIDI port and how soon it is gone
# after its last chord, against a private JACK server and the tests' sink.
find_package(PkgConfig REQUIRED)
pkg_check_modules(JACK REQUIRED IMPORTED_TARGET jack)
add_executable(midi_jack_startup
  ${CMAKE_CURRENT_LIST_DIR}/jack_startup.cpp
  ${PROJECT_SOURCE_DIR}/tests/midi/jack_harness.cpp)
target_include_directories(midi_jack_startup PRIVATE ${PROJECT_SOURCE_DIR}/tests/midi)
target_link_libraries(midi_jack_startup PRIVATE PkgConfig::JACK sonavela::warnings)
target_compile_definitions(midi_jack_startup PRIVATE
  SONAVELA_CLI_PATH="$<TARGET_FILE:sonavela-cli>")
add_dependencies(midi_jack_startup sonavela-cli)

# How exactly chords played through MidiPort land on their grid at a JACK
# MIDI sink, in frames, for several sample rates and periods.
add_executable(midi_jack_timing
  ${CMAKE_CURRENT_LIST_DIR}/jack_timing.cpp
  ${PROJECT_SOURCE_DIR}/tests/midi/jack_harness.cpp)
target_include_directories(midi_jack_timing PRIVATE ${PROJECT_SOURCE_DIR}/tests/midi)
target_link_libraries(midi_jack_timing PRIVATE sonavela::midi PkgConfig::JACK sonavela::warnings)

# Notes per chord and voice movement of each voicing over a long progression.
add_executable(midi_voicing_figures ${CMAKE_CURRENT_LIST_DIR}/voicing_figures.cpp)
target_link_libraries(midi_voicing_figures PRIVATE sonavela::midi sonavela::generator
  sonavela::warnings)

# The loudness of a render per voicing, for the default gain; measured by
# libebur128, which shares nothing with the program.
pkg_check_modules(EBUR128 REQUIRED IMPORTED_TARGET libebur128)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
add_executable(midi_render_loudness ${CMAKE_CURRENT_LIST_DIR}/render_loudness.cpp)
target_link_libraries(midi_render_loudness PRIVATE PkgConfig::EBUR128 PkgConfig::SNDFILE
  sonavela::warnings)
target_compile_definitions(midi_render_loudness PRIVATE
  SONAVELA_CLI_PATH="$<TARGET_FILE:sonavela-cli>")
add_dependencies(midi_render_loudness sonavela-cli)
