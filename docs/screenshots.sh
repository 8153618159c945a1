#!/usr/bin/env bash
# Takes every picture of the manual again from the running program, offscreen,
# on the built-in simulated board: ./docs/screenshots.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target vormex-shots -j2
rm -f "$root"/docs/manual/images/*.png
QT_QPA_PLATFORM=offscreen "$build/docs/vormex-shots" "$root/docs/manual/images"
ls -l "$root"/docs/manual/images
