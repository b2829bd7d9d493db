#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program into build/ and starts it: the
# dialog where a display exists, the command line otherwise. Arguments are
# passed on to the command line (see `build/sonavela-cli --help`).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/sonavela ]; then
  exec build/sonavela
fi
exec build/sonavela-cli "$@"
