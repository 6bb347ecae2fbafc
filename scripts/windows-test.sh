#!/usr/bin/env bash
# Runs the Windows test programs of a finished Windows build under Wine,
# with an Xvfb display and Linux simulators (scripts/windows.sh test calls
# this after building), 32-bit Wine for the x86 build, 64-bit for x64:
#   scripts/windows-test.sh [build-win32 or build-win64 directory]
# Then the example built in MSVC mode against the build's .lib files
# (scripts/windows-msvc-example.sh) runs against the simulator.
# The Wine prefix lives in the build directory and is made on first use;
# Direct3D is switched to "no3d" there so that DirectDraw works without
# OpenGL. Ends with the viewer's screenshot in out/windows/viewer.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$(realpath "${1:-build-win32}")
if grep -q '^CMAKE_TOOLCHAIN_FILE.*mingw-x86_64' "$dir/CMakeCache.txt"; then
  arch=x64 wine_arch=win64
  # Debian's "wine" starts the 32-bit loader, which a 64-bit-only host
  # cannot run; the 64-bit loader serves a 64-bit prefix alone.
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
else
  arch=x86 wine_arch=win32 wine=wine
fi
out=$root/out/windows/$arch
mkdir -p "$out"
work=$(mktemp -d)

# The Linux simulator serves the Windows programs.
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target vkt-devsim >/dev/null
devsim=$root/build/bin/vkt-devsim

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Without its debugger a program that crashes ends with a failure at once;
# with it, Wine waits for the debugger and the run hangs.
export WINEPREFIX=$dir/wine WINEARCH=$wine_arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done

if [ ! -f "$WINEPREFIX/.vkt-ready" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d no3d /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.vkt-ready"
fi

python3 tests/win32/devsim_broker.py "$devsim" "$work/broker.port" &
pids+=($!)
for _ in $(seq 50); do [ -f "$work/broker.port" ] && break; sleep 0.1; done
export VKT_DEVSIM_BROKER_PORT=$(cat "$work/broker.port")

status=0
cd "$dir/bin"
for program in win32_*_tests.exe; do
  echo "== $program"
  if ! "$wine" "$program" --gtest_brief=1; then
    echo "FAILED: $program"
    status=1
  fi
done

# True when the viewer's last "stats" line shows every channel at `minimum`
# pictures a second or more.
rates_reach() {
  awk -v minimum="$2" '/^stats /{ line = $0 }
    END { n = 0
          while (match(line, /ch[0-9]+ [0-9.]+\/s/)) {
            split(substr(line, RSTART, RLENGTH), field, " ")
            if (field[2] + 0 < minimum) exit 1
            n++; line = substr(line, RSTART + RLENGTH) }
          exit n == 0 }' "$1"
}

# True when the viewer's summary shows no channel longer than `most` ms
# without a picture shown.
gaps_within() {
  awk -v most="$2" '/^summary /{ line = $0 }
    END { n = 0
          while (match(line, /longest gap [0-9]+ ms/)) {
            split(substr(line, RSTART, RLENGTH), field, " ")
            if (field[3] + 0 > most) exit 1
            n++; line = substr(line, RSTART + RLENGTH) }
          exit n == 0 }' "$1"
}

# The viewer: one run per device kind on the same display (kind 5200 while
# recording, so its overlay shows the recording dot too); the screenshot
# puts both one above the other. Its figures come from the SDK: the
# simulator's 25/s kind-5200 stream shows as 20/s or more, each kind-7100
# channel as 1/s or more.
view() {
  local kind=$1 channels=$2 minimum=$3 port
  shift 3
  "$devsim" --kind "$kind" --listen 127.0.0.1:0 --channels "$channels" > "$work/devsim$kind.out" &
  pids+=($!)
  for _ in $(seq 50); do grep -q "listening on" "$work/devsim$kind.out" 2>/dev/null && break; sleep 0.1; done
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/devsim$kind.out")
  "$wine" vkt-viewer.exe --kind "$kind" --port "$port" --channels "$channels" --seconds 8 --stats "$@" > "$work/viewer$kind.log" 2>&1 &
  local viewer=$!
  sleep 6
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left 0 -top 0 -width 1000 -height 330 > "$work/kind$kind.pnm"
  if ! wait "$viewer"; then
    echo "FAILED: vkt-viewer kind $kind"
    status=1
  fi
  cat "$work/viewer$kind.log"
  if ! rates_reach "$work/viewer$kind.log" "$minimum"; then
    echo "FAILED: vkt-viewer --stats shows less than $minimum/s on a kind-$kind channel"
    status=1
  fi
  if ! gaps_within "$work/viewer$kind.log" 5000; then
    echo "FAILED: vkt-viewer's summary shows a kind-$kind channel over 5 s without a picture"
    status=1
  fi
}
view 7100 2 1
view 5200 1 20 --record "$("$wine" winepath -w "$work/viewer.rec" 2>/dev/null | tr -d '\r')"
if [ "$(head -c 4 "$work/viewer.rec" 2>/dev/null)" != rvdx ]; then
  echo "FAILED: the viewer's kind-5200 recording does not start with its stream header"
  status=1
fi
pnmcat -tb "$work/kind7100.pnm" "$work/kind5200.pnm" | pnmtopng > "$out/viewer.png"
echo "screenshot: $out/viewer.png"

if ! WINE="$wine" bash "$root/scripts/windows-msvc-example.sh" "$dir" "$devsim" "$work/example"; then
  echo "FAILED: the MSVC-mode example ($arch)"
  status=1
fi
exit $status
