#!/usr/bin/env bash
# Configures and builds Lumetra into build/ (Release with debug information).
# With target names (lumetra, lumetra-detect, ...) only those are built.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
