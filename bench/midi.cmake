# Included from bench/CMakeLists.txt: figures of the built-in synthesizer.
add_executable(midi_soundfont_load ${CMAKE_CURRENT_LIST_DIR}/midi_soundfont_load.cpp)
target_link_libraries(midi_soundfont_load PRIVATE sonavela::midi sonavela::warnings)

# What recording a long progression into a MIDI file costs.
add_executable(midi_file_recording ${CMAKE_CURRENT_LIST_DIR}/midi_file_recording.cpp)
target_link_libraries(midi_file_recording PRIVATE sonavela::midi sonavela::playback sonavela::warnings)
