#!/usr/bin/env bash
# Runs the drive-scan test in a Wine prefix of its own whose only fixed drives are two test
# folders: D: (products, and a link back to its own root) and E: (a wide tree of 1,000
# folders, a copy of QX Seek in ten of them). Z: (the whole Linux root) is removed and C: is
# made a network drive, so no scan can leave them.
# Usage: drivescan.sh PREFIX TESTS_FOLDER (the build's tests folder, with fixtures/).
set -euo pipefail
prefix=$1 tests=$2
work=$tests/drivescan
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Made anew when Wine's 32-bit half comes or goes (a prefix of the other kind breaks).
ready="$WINEPREFIX/.qx-ready-$([ -e /usr/lib/wine/wine ] && echo wow64 || echo win64)"
if [ ! -f "$ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Wine\Drives' /v c: /d network /f >/dev/null 2>&1
  wineserver -w
  touch "$ready"
fi
wineserver -k >/dev/null 2>&1 || true

rm -rf "$work"
mkdir -p "$work/d/apps/two" "$work/e/deep"
cp "$tests/fixtures/QXnav.exe" "$work/d/QXNav.exe"
cp "$tests/fixtures/QXnav.exe" "$work/d/apps/two/QXNav.exe"
cp "$tests/fixtures/QXcase.exe" "$work/d/apps/QXSeek.exe"
ln -s .. "$work/d/apps/loop"
cp "$tests/fixtures/QXseek.exe" "$work/e/QXSeek.bin"
for a in $(seq -w 0 49); do
  mkdir -p "$work/e/deep/a$a"
  if [ "$a" -lt 10 ]; then ln "$work/e/QXSeek.bin" "$work/e/deep/a$a/QXSeek.exe"; fi
  (cd "$work/e/deep/a$a" && mkdir $(seq -f "b%02g" 0 19))
done

rm -f "$WINEPREFIX/dosdevices/z:" "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/e:"
ln -s "$work/d" "$WINEPREFIX/dosdevices/d:"
ln -s "$work/e" "$WINEPREFIX/dosdevices/e:"
# Without Z: the test program must live on a drive: C:, which is not a fixed one here.
mkdir -p "$WINEPREFIX/drive_c/tests"
cp "$tests/qx_win_tests.exe" "$WINEPREFIX/drive_c/tests/"

wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
set +e
QX_DRIVE_PREFIX=1 wine 'C:\tests\qx_win_tests.exe' --gtest_filter='DriveScanWinTest.*'
result=$?
wineserver -k >/dev/null 2>&1 || true
exit $result
