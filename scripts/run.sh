#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the two programs (no tests, no plugin) into
# build-run/, a Release tree of its own that leaves the test tree in build/
# alone, and starts one: the dialog where a display exists, the command line
# otherwise. Arguments are passed on to either (`sonavela --help`,
# `sonavela-cli --help`).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONAVELA_BUILD_TESTS=OFF >/dev/null
cmake --build build-run --target sonavela-cli sonavela

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build-run/sonavela "$@"
fi
exec build-run/sonavela-cli "$@"
