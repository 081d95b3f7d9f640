#!/usr/bin/env bash
# "Update and install now" of a running product under Wine: how long the product is down
# (asked to close until its new version started) for a package of about 1 MiB and one of
# 256 MiB (QX_BENCH_MIB), with their ratio, and the whole update against downloading and
# decoding the same package; then what flushing the staged files costs an install of 1,000
# files. The stand-in product logs its closes and starts, nginx serves on loopback. Builds
# qx_update_bench and the stand-ins in build/win-i686 (with the tests; QX_BENCH_ARCH=x86_64
# for build/win-x86_64, where Wine cannot run 32-bit programs).
#
#   bench/update.sh [BEFORE]
# BEFORE: the build folder of the same kind of another tree (an earlier commit, say); its
# qx_update_bench then runs first, against the same packages and server, for a comparison
# in one run. Needs about 1 GiB of disk for the default sizes.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/env.sh"
before=${1:-}
mib=${QX_BENCH_MIB:-256}
rounds=${QX_BENCH_ROUNDS:-2}
arch=${QX_BENCH_ARCH:-i686}
tree="$BUILD/win-$arch"

cmake -S "$ROOT" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR=wine -DQX_BUILD_TESTS=ON >/dev/null
cmake --build "$tree" --target qx_update_bench qx_standin510 qx_standin520 qxpack >/dev/null
ensure_wine_prefix

work=$(mktemp -d "${TMPDIR:-/tmp}/qxupdate.XXXXXX")
chmod 755 "$work" # nginx's workers read the packages as another user
trap '"$ROOT/server/serve" --stop "$work/state"; rm -rf "$work"' EXIT
standin="$tree/tests/standin"
mkdir -p "$work/www/dw/packages" "$work/flush"
for i in $(seq 1000); do head -c 8192 /dev/urandom > "$work/flush/f$i.bin"; done
head -c $((1 << 20)) /dev/urandom > "$work/small.bin"
head -c $((mib << 20)) /dev/urandom > "$work/large.bin"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -o pipefail
  root=$1 work=$2 standin=$3 before=$4 rounds=$5 tree=$6
  source "$root/scripts/env.sh"; start_wine_server
  qxpack="$tree/tools/qxpack/qxpack.exe"
  w() { local p=${1//\//\\}; echo "Z:$p"; } # Z: is the root folder of the machine
  # Random data: the packages are as large as their files, and quick to make at preset 0.
  for p in "qj small" "qk large"; do
    read -r code name <<< "$p"
    wine "$qxpack" build "$(w "$work/www/dw/packages/${code}d.pkg")" --code "$code" --preset 0 \
      "$(w "$standin/5.20/QXNav.exe")" "$(w "$work/$name.bin")=data.bin" >/dev/null
    mkdir -p "$work/$name"
    cp "$standin/5.10/QXNav.exe" "$work/$name/QXNav.exe"
    cp "$standin/5.10/QXNav.exe" "$work/$name/QXNav.old"
  done
  wine "$qxpack" build "$(w "$work/flush.pkg")" --code qf --preset 0 "$(w "$work/flush")" >/dev/null
  rm -f "$work/small.bin" "$work/large.bin"
  ls -l "$work/www/dw/packages" | awk "/pkg/ { printf \"package %s: %.1f MiB\n\", \$NF, \$5 / 1048576 }"
  "$root/server/serve" --background "$work/www" "$work/state" >/dev/null
  port=$(cat "$work/state/port")
  printf "[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=%s\r\n[Class]\r\nqj=QXNavigatorMain\r\nqk=QXNavigatorMain\r\n[Products]\r\n1=qj;QX A 1 MiB;5.20;5.10;;%s\r\n2=qk;QX B large;5.20;5.10;;%s\r\n" \
    "$(date -u +%Y)" "$(w "$work/small/QXNav.exe")" "$(w "$work/large/QXNav.exe")" > "$work/QXUpd.INI"
  status=0
  for bench in $before "$tree"; do
    echo "== $bench"
    cp "$bench/bench/qx_update_bench.exe" "$work/bench.exe"
    cp "$work/QXUpd.INI" "$work/run.INI"
    cd "$work"
    wine bench.exe update "$(w "$work/run.INI")" "http://127.0.0.1:$port/" "$(w "$work/standin.log")" "$rounds" |
      tr -d "\r" || status=1
    wine bench.exe flush "$(w "$work/flush.pkg")" "$(w "$work")" "$rounds" | tr -d "\r" || status=1
  done
  stop_wine_server; exit $status' update "$ROOT" "$work" "$standin" "$before" "$rounds" "$tree"
