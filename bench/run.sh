#!/usr/bin/env bash
# Builds the benchmarks in a plain optimised tree (build/bench: no sanitizers, no tests)
# and runs them: the folder scan against find over a tree of 202,220 entries (kept in
# build/bench/), extraction throughput against xz for a package of 256 MiB unpacked, the
# peak memory of extracting a package of 1 GiB unpacked, what the journal of a crash-safe
# install adds to an install of many files, and what a signature adds to a package of
# 256 MiB unpacked (size, and the check's time against the extraction's). Needs about 2.5 GiB of disk.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$ROOT" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DQX_SANITIZE=OFF -DQX_FUZZ=OFF -DQX_BUILD_TESTS=OFF >/dev/null
cmake --build "$ROOT/build/bench" --target qx_package_bench qx_scan_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/qxbench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$ROOT/build/bench/bench/qx_scan_bench" "$ROOT/build/bench"
"$ROOT/build/bench/bench/qx_package_bench" throughput "$work" "${QX_BENCH_MIB:-256}"
"$ROOT/build/bench/bench/qx_package_bench" memory "$work" "${QX_BENCH_BIG_MIB:-1024}"
"$ROOT/build/bench/bench/qx_package_bench" journal "$work" "${QX_BENCH_FILES:-2000}"
"$ROOT/build/bench/bench/qx_package_bench" signature "$work" "${QX_BENCH_MIB:-256}"
