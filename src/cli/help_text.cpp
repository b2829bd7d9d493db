// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

namespace sonavela::cli {

std::string HelpText() {
  return R"(Usage: sonavela-cli [OPTION]...
Invents an endless chord progression and plays it, one chord per interval,
printing each chord as a line "key : chord" (for example "C   : Am").

Options:
  --device N|none   play on MIDI output device N (default 0, the built-in
                    synthesizer); "none" plays silently
  --list-devices    list the MIDI output devices as "index<TAB>name" and exit
  --instrument N    General MIDI instrument 1 to 128 (default 49)
  --minor           home key A minor (default C major)
  --key K           home key, any of the 32 keys as the result lines write
                    them: C, G, ..., F#, C#, Gb, Db, ...; Am, Em, ..., Ebm
  --rules FILE      read both rule tables from a rule file
  --print-rules     print the default rule tables as a rule file and exit
  --check-rules [FILE]
                    check a rule file (default: that of --rules, else the
                    default tables) from C and from Am, or from the key of
                    --minor or --key, print "file:line: warning: ..." and
                    "note: ..." lines and exit, 1 when there is a warning
  --explain         after each line and a tab, the chord's Roman numeral in
                    its key; where a stretch changes key, also the pivot
                    ("Dm: ii in C = iv in Am") and how far from home the
                    progression has been planned, of at most 15 steps
  --steps N         stop after N chords (default: play until interrupted)
  --interval MS     milliseconds from one chord to the next (default 2000;
                    0 = as fast as possible)
  --tempo BPM       beats per minute, 20 to 400, decimals allowed (default
                    120); with --beats-per-chord instead of --interval
  --beats-per-chord N
                    beats from one chord to the next, 1 to 64 (default 4)
  --sync SOURCE     whose time to follow: internal (default, the program's
                    own), jack (the JACK transport), midi-clock (MIDI beat
                    clock from --clock-from) or link (an Ableton Link
                    session); with a master, chords change every N-th beat
                    counted from bar 1 beat 1
  --clock-from PORT the MIDI input of --sync midi-clock, an index or a name
  --list-inputs     list the MIDI inputs as "index<TAB>name" and exit
  --clock-out       also send MIDI beat clock (24 a beat, start, stop) on
                    the output device
  --voicing MODE    how a chord is laid out: full (default: every tone in
                    three octaves from 61 to 96, the root twice below),
                    close (the root alone in the bass, the chord above it
                    in close position, moving as little as it can),
                    open (the same, spread) or bass-triad (the root in the
                    bass, the chord in root position above)
  --register LOW-HIGH
                    MIDI notes the upper voices of close, open and
                    bass-triad keep to (default 55-79), at least 12 apart
  --channel N       MIDI channel of the chords, 1 to 16 (default 1)
  --bass-channel N  MIDI channel of the bass note, for a bass synth, 0 to 16
                    (default 0: the chords' channel)
  --velocity N      note-on velocity, 1 to 127 (default 64)
  --pattern NAME    how a chord is played over its length: block (default:
                    all notes at once), arpeggio-up or arpeggio-down (the
                    bass held, the other notes one a sixteenth note),
                    strum (each note 12 ms after the one below it) or
                    pulse (the chord struck again on every beat)
  --humanize MS     start each note up to MS milliseconds late, at random,
                    0 to 50 (default 0); the progression stays the same
  --soundfont FILE  the built-in synthesizer's SoundFont (SF2, SF3 or DLS;
                    default: $SONAVELA_SOUNDFONT, else the system's General
                    MIDI SoundFont)
  --gain DB         loudness of the built-in synthesizer, -40 to 20 dB from
                    its default (default 0)
  --reverb on|off   its reverb (default on)
  --chorus on|off   its chorus (default on)
  --seed N          initial state of the random source, 0 to 4294967295
                    (default 1)
  --wav FILE        render the built-in synthesizer into a file instead of
                    playing, faster than real time: WAV, or FLAC for .flac,
                    RF64 for .rf64; "-" streams WAV to standard output (the
                    lines then go to standard error); each chord lasts the
                    interval, and the last one rings out; needs --steps
  --midi FILE       also write what is played into a Standard MIDI File at
                    the tempo, one chord per N beats (one 4/4 bar for 4; 120
                    BPM when the interval is 0), each chord's line as a
                    marker; works with sound, --device none and --wav
  -h, --help        show this help and exit
  --version         print the version and exit

Ctrl-C stops playing and silences the device; the MIDI file is then
complete up to the moment it stopped. A --wav or --midi file replaces an
existing file only once it is complete.
Exit status: 0 when done or stopped by a closed pipe; after Ctrl-C or kill,
once all is silenced and written, the program ends by that signal (status 130
or 143 in a shell); 1 when something failed while running (a device that went
away, a full disk); 2 for bad usage (unknown option, bad number, bad rule file,
no such device, a --wav or --midi file that cannot be written).
)";
}

std::string VersionText() {
#ifdef SONAVELA_VERSION
  std::string text = std::string(kProgramName) + " " + SONAVELA_VERSION + "\n";
#else
  std::string text = std::string(kProgramName) + "\n";
#endif
  // The GNU way of stating the licence.
  text.append(playback::kLicenceNotice);
  return text;
}

}  // namespace sonavela::cli
