#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Extra package names given as arguments are installed the same way.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-translations-l10n libgtest-dev libgmock-dev
          gputils srecord clang libclang-rt-14-dev libsqlite3-dev libpq-dev libssl-dev postgresql
          python3 poppler-utils fonts-ipafont-gothic desktop-file-utils appstream dpkg-dev lintian "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
