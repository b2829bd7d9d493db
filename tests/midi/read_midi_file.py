#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints a Standard MIDI File as text, one event a line, read by mido.

Used by the MIDI file tests as a reader that shares no code with the
writer. Output:
    file <format> <ticks per beat> <tracks> <length in seconds>
    <absolute tick> <delta> <event> [fields...]
Meta events with text put the text last, after a '|'.
"""
import sys

try:
    import mido
except ImportError:
    print("python3-mido is missing for " + sys.executable +
          " (install it with scripts/install-deps.sh)", file=sys.stderr)
    sys.exit(3)


def describe(msg):
    if msg.type in ("note_on", "note_off"):
        return f"{msg.type} {msg.channel} {msg.note} {msg.velocity}"
    if msg.type == "program_change":
        return f"program_change {msg.channel} {msg.program}"
    if msg.type == "control_change":
        return f"control_change {msg.channel} {msg.control} {msg.value}"
    if msg.type == "set_tempo":
        return f"set_tempo {msg.tempo}"
    if msg.type == "time_signature":
        return (f"time_signature {msg.numerator}/{msg.denominator} "
                f"{msg.clocks_per_click} {msg.notated_32nd_notes_per_beat}")
    if msg.type in ("track_name", "marker", "text"):
        return f"{msg.type} |{msg.name if msg.type == 'track_name' else msg.text}"
    if msg.type == "end_of_track":
        return "end_of_track"
    return f"other {msg.type}"


def main():
    if len(sys.argv) != 2:
        print("usage: read_midi_file.py FILE", file=sys.stderr)
        return 2
    midi = mido.MidiFile(sys.argv[1])
    print(f"file {midi.type} {midi.ticks_per_beat} {len(midi.tracks)} {midi.length:.6f}")
    for track in midi.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            print(f"{tick} {msg.time} {describe(msg)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
