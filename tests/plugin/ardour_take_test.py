#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The plugin in Ardour 7, headless: 16 bars at 120 BPM recorded into a
second track. Every chord starts on its bar (to the take's resolution of
1/19200 beat, 1.25 frames at 48 kHz), no chord strikes a note twice, every
note ends by a note-off of the plugin's own (Ardour only closes what sounds
when the recording stops), and the take holds the chords of sonavela-cli.

    ardour_take_test.py CMAKE BINARY_DIR SONAVELA_CLI LUA_SCRIPT ARDOUR7_LUA
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

import mido

BARS = 16


def chords_of(path):
    """The note-ons of a MIDI file grouped by their tick, in order."""
    chords = {}
    for track in mido.MidiFile(path).tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "note_on" and message.velocity > 0:
                chords.setdefault(tick, []).append(message.note)
    return sorted(chords.items())


def main():
    cmake, binary_dir, cli, lua, ardour = sys.argv[1:6]
    failures = []
    with tempfile.TemporaryDirectory(prefix="sonavela-ardour-") as tmp:
        prefix = pathlib.Path(tmp, "prefix")
        subprocess.run([cmake, "--install", binary_dir, "--prefix", str(prefix), "--component",
                        "lv2"], check=True, capture_output=True)
        env = dict(os.environ, LV2_PATH=str(prefix / "lib" / "lv2"),
                   SONAVELA_SESSION=str(pathlib.Path(tmp, "session")),
                   SONAVELA_SECONDS=str(2 * BARS + 1), HOME=tmp,
                   XDG_CONFIG_HOME=str(pathlib.Path(tmp, "config")))
        run = subprocess.run([ardour, lua], env=env, capture_output=True, text=True,
                             timeout=180)
        log = run.stdout + run.stderr
        if "ardour_take: recorded" not in log:
            sys.exit("ardour7-lua did not record (status %d):\n%s" % (run.returncode, log))
        takes = list(pathlib.Path(tmp, "session").rglob("*.mid"))
        if len(takes) != 1:
            sys.exit("not one take but %d:\n%s" % (len(takes), log))
        ticks_per_beat = mido.MidiFile(takes[0]).ticks_per_beat
        take = chords_of(takes[0])
        bar = 4 * ticks_per_beat
        # Ardour may begin the take a cycle after the roll, past bar 1's chord.
        if len(take) < BARS - 1:
            failures.append("%d chords in 16 bars" % len(take))
        for tick, notes in take:
            off = min(tick % bar, bar - tick % bar)
            if off > 1:
                failures.append("a chord %d ticks off its bar at tick %d" % (off, tick))
            if len(set(notes)) != len(notes):
                failures.append("a note struck twice at tick %d: %s" % (tick, notes))
        # Ardour ends what still sounds at the end of the take and says so.
        unresolved = re.findall(r"resolved note-on with no note-off.*pitch = (\d+)", log)
        last = take[-1][1] if take else []
        if len(unresolved) > len(last) or any(int(p) not in last for p in unresolved):
            failures.append("%d notes not ended by a note-off of their own (the last chord "
                            "has %d): %s" % (len(unresolved), len(last), unresolved))

        # Chord k of the progression belongs to bar k + 1.
        bars = [round(tick / bar) for tick, _ in take]
        reference = pathlib.Path(tmp, "cli.mid")
        subprocess.run([cli, "--device", "none", "--interval", "0", "--steps",
                        str(max(bars, default=0) + 1), "--midi", str(reference)], check=True,
                       capture_output=True)
        expected = [notes for _, notes in chords_of(reference)]
        for k, (tick, notes) in zip(bars, take):
            if notes != expected[k]:
                failures.append("bar %d holds %s, not the command line's %s" %
                                (k + 1, notes, expected[k]))
    for failure in failures:
        print(failure)
    print("%d chords recorded in Ardour, %d ticks a beat; %d notes left to the take's end"
          % (len(take), ticks_per_beat, len(unresolved)))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
