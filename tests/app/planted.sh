#!/usr/bin/env bash
# Runs the program beside planted copies of the DLLs it loads by name (each marks its loading)
# till one or the system's dwmapi.dll is loaded. Usage: planted.sh PREFIX PROGRAM PLANT_DLL
set -euo pipefail
QX_WINEPREFIX=$1 source "$(dirname "$0")/../../scripts/env.sh"
ensure_wine_prefix
dir=$(mktemp -d) && trap 'wineserver -k >/dev/null 2>&1; rm -rf "$dir"' EXIT
cp "$2" "$dir/QXUpdate.exe"
for name in dwmapi.dll UxTheme.dll version.dll urlmon.dll hhctrl.ocx; do cp "$3" "$dir/$name"; done
cd "$dir" && WINEDEBUG=+loaddll wine QXUpdate.exe /A 2>log &
theirs='Loaded.*(system32|syswow64)\\\\dwmapi'
for _ in $(seq 120); do ls "$dir"/*.loaded >/dev/null 2>&1 || grep -qiE "$theirs" "$dir/log" && break; sleep 0.5; done
! ls "$dir"/*.loaded 2>/dev/null && grep -qiE "$theirs" "$dir/log"
