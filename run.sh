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
# With no port configured yet, start against the built-in simulated board on
# COM1 with a separate demo settings file, so the user's settings stay untouched.
user_settings="${XDG_CONFIG_HOME:-$HOME/.config}/Vormex V3/Vormex V3.ini"
if [ -z "${VORMEX_SETTINGS_FILE:-}" ] && ! grep -qs '^ComNo=' "$user_settings"; then
  demo="$PWD/build/demo-settings.ini"
  [ -f "$demo" ] || printf '[Settings]\nComNo=1\nComDevice1=sim\n' >"$demo"
  echo "No COM port configured: demo run against the simulated board (settings: build/demo-settings.ini)"
  export VORMEX_SETTINGS_FILE="$demo"
fi
exec build/src/ui/vormex "$@"
