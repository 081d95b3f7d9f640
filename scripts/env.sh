# Shared settings of the scripts: folders, the private Wine prefix and the builds.
# Sourced, not run.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"
export WINEPREFIX="${QX_WINEPREFIX:-$ROOT/.cache/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# "yes" when this machine runs 32-bit x86 programs (scripts/setup finds out): the Windows
# tests then run the shipped 32-bit program; elsewhere they run the 64-bit build.
runs_32bit() { [ "$(cat "$ROOT/.cache/runs-32bit" 2>/dev/null)" = yes ]; }
# The Windows tree whose tests run here: win-i686 or win-x86_64.
tested_windows_arch() { if runs_32bit; then echo i686; else echo x86_64; fi; }

# Creates the Wine prefix once; later runs reuse it.
ensure_wine_prefix() {
  # A prefix made with or without Wine's 32-bit half breaks when that changes: made anew.
  local ready="$WINEPREFIX/.qx-ready-3-$(tested_windows_arch)"
  if [ ! -f "$ready" ]; then
    echo "setup: creating the Wine prefix"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # A virtual desktop: no window manager to wait for when windows close (which costs
    # two seconds a window under a bare X server), and pictures of a known screen.
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wineserver -w
    touch "$ready"
  fi
}

# Configures and builds one of: native, native-i386, win-x86_64, win-i686.
build_one() {
  local name=$1; shift
  local dir="$BUILD/$name"
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir"
}

build_native() {
  build_one native -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQX_SANITIZE=ON -DQX_FUZZ=ON "$@"
}

# The portable core in the shipped program's 32-bit model (clang -m32, sanitizers), tests only.
build_native_i386() {
  build_one native-i386 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-i386-linux-gnu.cmake" \
    -DQX_SANITIZE=ON -DQX_FUZZ=OFF -DQX_BUILD_BENCH=OFF -DQX_TEST_PREFIX=i386. "$@"
}

build_windows() {
  local arch=$1; shift
  build_one "win-$arch" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine "$@"
}

# Starts a persistent Wine server in the current X session and warms it up, so that each
# Windows test costs milliseconds instead of seconds.
start_wine_server() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wine_server() {
  wineserver -k >/dev/null 2>&1 || true
}
