#!/usr/bin/env bash
# The Debian package of the build tree holds what an installation needs,
# lintian (Debian's package checker) finds neither error nor warning in it,
# and unpacked into a scratch folder its vormex-cli runs and finds the
# installed device.ini.   usage: check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/out/vormex_*.deb)

fail=0
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in /usr/bin/vormex /usr/bin/vormex-cli /usr/share/vormex/device.ini /usr/share/vormex/hint.pdf \
            /usr/share/vormex/manual/index.html /usr/share/vormex/manual/hint.html \
            /usr/share/vormex/manual/images/main.png \
            /usr/share/applications/example.vormex.VormexV3.desktop \
            /usr/share/metainfo/example.vormex.VormexV3.metainfo.xml \
            /usr/share/icons/hicolor/scalable/apps/vormex.svg /usr/share/icons/hicolor/48x48/apps/vormex.png \
            /usr/share/icons/hicolor/256x256/apps/vormex.png /usr/share/man/man1/vormex-cli.1.gz \
            /usr/share/man/man1/vormex.1.gz /usr/share/doc/vormex/copyright /usr/share/doc/vormex/changelog.gz \
            /usr/share/bash-completion/completions/vormex-cli; do
  grep -qx "$path" <<<"$listing" || { echo "missing from the package: $path"; fail=1; }
done
# Nothing of the build tree or the tests travels along.
if grep -E 'test|\.a$|CMake|/build/' <<<"$listing"; then echo "unexpected files above"; fail=1; fi

depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins qt6-translations-l10n libc6; do
  grep -q "$dep" <<<"$depends" || { echo "Depends lacks $dep: $depends"; fail=1; }
done

if command -v lintian >/dev/null; then
  # A run as root draws a notice of its own, which is no finding.
  if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1; then
    grep -v 'running with root privileges' "$scratch/lintian.log"
    echo "lintian found errors or warnings"; fail=1
  fi
else
  echo "lintian is missing (scripts/deps.sh installs it)"; fail=1
fi

dpkg-deb -x "$deb" "$scratch/root"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_CONFIG_HOME=$scratch/home/.config
unset VORMEX_SETTINGS_FILE
cli=$scratch/root/usr/bin/vormex-cli
version=$("$cli" --version)
[[ $version == "vormex-cli 2.9.24" ]] || { echo "--version said: $version"; fail=1; }
devices=$("$cli" devices) || { echo "devices failed: $devices"; fail=1; }
grep -q '^PIC16F84A ' <<<"$devices" || { echo "devices lacks PIC16F84A:"; echo "$devices"; fail=1; }
# The window, started once, keeps per-user copies of the installed files.
printf '[Settings]\nComNo=1\nComDevice1=sim\n' >"$scratch/settings.ini"
VORMEX_SETTINGS_FILE=$scratch/settings.ini QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch \
  timeout 4 "$scratch/root/usr/bin/vormex" >/dev/null 2>&1 || true
appdir="$XDG_DATA_HOME/Vormex V3"
for file in device.ini hint.pdf LOG.txt; do
  [[ -s $appdir/$file ]] || { echo "the installed window left no $file in $appdir"; fail=1; }
done
cmp -s "$appdir/hint.pdf" "$scratch/root/usr/share/vormex/hint.pdf" || { echo "hint.pdf not copied whole"; fail=1; }
exit $fail
