#!/usr/bin/env bash
# Runs the display-scale test and the window and dialog pictures at 96, 144 and 192 DPI (the
# LogPixels values Wine reads) in a Wine prefix of its own. Usage: dpi.sh PREFIX TEST_PROGRAM
set -euo pipefail
export QX_WINEPREFIX=$1
source "$(dirname "$0")/../../scripts/env.sh"
ensure_wine_prefix
result=0
for dpi in 96 144 192; do
  for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    wine reg add "$key" /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  done
  QX_DPI=$dpi wine "$2" --gtest_filter='MainWindowTest.FirstStart*:MainWindowTest.ConfigurationCancel*' || result=1
done
wineserver -k >/dev/null 2>&1 || true
exit $result
