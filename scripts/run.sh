#!/usr/bin/env bash
# Installs what is missing, builds, and runs Lumetra on the bundled sample photos.
# The photos are copied into build/My Storage first (never overwriting a copy you
# saved over), so saving never changes the repository. Without a display, a short
# scripted tour runs headless instead and writes its screenshots to build/tour/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh lumetra lumetra-detect lumetra-render  # the tests and benchmarks are built by test.sh
storage="build/My Storage"
mkdir -p "$storage"
cp -n samples/*.jpg "$storage"/ 2>/dev/null || true
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/lumetra --storage "$storage" "$@"
fi
echo "No display found: replaying a short scripted tour of one sample photo without a window."
mkdir -p build/tour
cd build/tour
../lumetra --headless --storage "../My Storage" --script ../../scripts/tour.script
echo "Screenshots of the tour are in build/tour/ (open them with any image viewer)."
