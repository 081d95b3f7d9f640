#!/usr/bin/env bash
# F5 ("Seach for new updates") on an empty table under Wine, for catalogues of 100 and 1,000
# lines (or the sizes given as arguments): the real main window in-process, the catalogue
# served by nginx on loopback. Prints the time per size (after one warm-up round) and the
# ratio of the last size's time to the first's. Builds qx_rows_bench in build/win-x86_64.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/env.sh"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 1000)

cmake -S "$ROOT" -B "$BUILD/win-x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-x86_64-w64-mingw32.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
cmake --build "$BUILD/win-x86_64" --target qx_rows_bench >/dev/null
ensure_wine_prefix

work=$(mktemp -d "${TMPDIR:-/tmp}/qxrows.XXXXXX")
chmod 755 "$work" # nginx's workers read the catalogues as another user
trap '"$ROOT/server/serve" --stop "$work/state"; rm -rf "$work"' EXIT
# Distinct two-character codes (never "qz") and names in shuffled order, so that most
# inserts land between existing rows.
for n in "${sizes[@]}"; do
  mkdir -p "$work/www/$n"
  python3 - "$n" > "$work/www/$n/products.txt" <<'PY'
import random, string, sys
n = int(sys.argv[1])
chars = string.ascii_letters + string.digits
codes = [a + b for a in chars for b in chars if a + b != "qz"][:n]
order = list(range(n))
random.Random(n).shuffle(order)
sys.stdout.write("".join("%s1.%d QX Product %05d\r\n" % (codes[i], i, order[i]) for i in range(n)))
PY
done
"$ROOT/server/serve" --background "$work/www" "$work/state" >/dev/null
port=$(cat "$work/state/port")
year=$(date -u +%Y)
printf '[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=%s\r\n' "$year" > "$work/QXUpd.INI"
cp "$BUILD/win-x86_64/bench/qx_rows_bench.exe" "$work/"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  source "$1/scripts/env.sh"; start_wine_server
  cd "$2"; wine qx_rows_bench.exe "$(winepath -w "$2/QXUpd.INI")" "http://127.0.0.1:$3/" "${@:4}" | tr -d "\r"
  status=${PIPESTATUS[0]}; stop_wine_server; exit $status' rows "$ROOT" "$work" "$port" "${sizes[@]}" |
  tee "$work/out.txt"
awk -v first="${sizes[0]}" -v last="${sizes[-1]}" '/^F5/ { t[++n] = $(NF - 3) }
  END { if (n > 1) printf "ratio %s lines / %s lines: %.1f\n", last, first, t[n] / t[1] }' "$work/out.txt"
