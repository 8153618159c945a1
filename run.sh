#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vormex V3.
#   ./run.sh            the window
#   ./run.sh --cli ARGS the command-line front end (vormex-cli ARGS)
set -euo pipefail
cd "$(dirname "$0")"
# The window's texts are Japanese: a font that has them, when none is installed.
if fc-list :lang=ja 2>/dev/null | grep -q .; then
  scripts/deps.sh
else
  scripts/deps.sh fonts-ipafont-gothic
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if [ "${1:-}" = "--cli" ]; then
  shift
  exec build/src/cli/vormex-cli "$@"
fi
exec build/src/ui/vormex "$@"
