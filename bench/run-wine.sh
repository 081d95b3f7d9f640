#!/usr/bin/env bash
# The folder scan under Wine: builds the Windows benchmark in build/win-x86_64 and times the
# scan through the Win32 provider against "cmd /c dir /s /b" over the tree that bench/run.sh
# makes in build/bench/scan-tree (made here first when missing).
set -euo pipefail
source "$(dirname "$0")/../scripts/env.sh"
cmake -S "$ROOT" -B "$BUILD/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DQX_SANITIZE=OFF -DQX_FUZZ=OFF -DQX_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD/bench" --target qx_scan_bench
"$BUILD/bench/bench/qx_scan_bench" "$BUILD/bench"
build_windows x86_64 >/dev/null
ensure_wine_prefix
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
wine "$BUILD/win-x86_64/bench/qx_scan_bench.exe" "Z:${BUILD//\//\\}\\bench"
wineserver -k
