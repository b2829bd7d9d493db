#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package that building, running and testing Sonavela needs.
# This is the only list of packages in the project; add new ones here.
set -euo pipefail

PACKAGES=(
  # toolchain
  g++ cmake ninja-build pkg-config clang-format git
  # tests and benchmarks
  libgtest-dev libgmock-dev
  # MIDI: rtmidi must come in the same transaction as jackd2, or apt picks
  # another JACK and a later jackd2 install removes librtmidi-dev.
  librtmidi-dev libjack-jackd2-dev jackd2 libasound2-dev
  # --sync link: Ableton Link (headers only; needs standalone asio), and LinkHut,
  # the peer its tests play against; ip sets up their private loopback network
  ableton-link-dev libasio-dev ableton-link-utils iproute2
  # --sync midi-clock: jack_midi_clock is the master its tests follow,
  # jack_mclk_dump the reader that checks --clock-out
  jack-midi-clock
  # built-in synthesizer and a General MIDI SoundFont
  libfluidsynth-dev timgm6mb-soundfont
  # sound files: WAV, RF64 and FLAC; libebur128 measures their loudness
  libsndfile1-dev libebur128-dev
  # dialog: Qt 6 Widgets, Qt's own texts in Japanese and the tools that
  # compile the dialog's English translation, Japanese fonts, a virtual display for tests
  qt6-base-dev qt6-translations-l10n qt6-tools-dev qt6-l10n-tools fonts-ipafont-mincho fonts-ipafont-gothic xvfb xauth
  # LV2 plugin: the headers and lilv to build and load it; jalv, the host its
  # tests run it in, and lv2_validate with sord_validate to check its Turtle
  lv2-dev liblilv-dev lilv-utils jalv sordi
  # and Ardour 7, whose headless ardour7-lua records the plugin's output in a take
  ardour
  # independent readers used by tests
  python3 python3-mido sox
  # the Debian package and what checks it: dpkg-shlibdeps and file for its
  # dependencies, lintian, the validators of its desktop entry and AppStream
  # data, man for its manual pages, bash-completion for its completion
  dpkg-dev file lintian desktop-file-utils appstream man-db bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo -E)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
