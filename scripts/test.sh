#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything (benchmarks included, so they
# keep compiling) into build/ and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONAVELA_BUILD_BENCH=ON
cmake --build build
ctest --test-dir build --output-on-failure -j "$(nproc)"
