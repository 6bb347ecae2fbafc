#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it as an application
# developer would: builds the examples through pkg-config and through
# find_package(VKT7100SDK), a decoder client through vktjpeg.pc (after
# checking that every public header and the README were installed), then runs
# the examples against the installed simulator for a few seconds (the Xlib
# one under an Xvfb of its own, where Xvfb is installed; the motion one on
# sixteen channels without a window).
#   scripts/install-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
source scripts/simulators.sh
xvfb_pid=""
cleanup() {
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
  stop_simulators
  rm -rf "$work"
}
trap cleanup EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cc=${CC:-cc}
cflags=(-std=c11 -Wall -Wextra -Werror)

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir vkt7100sdk)
# Every public header and the README are installed; the pkg-config paths
# are clean enough to paste into a run path.
for header in include/*.h; do
  [ -f "$prefix/include/vkt7100sdk/${header#include/}" ] || { echo "install-check: $header not installed" >&2; exit 1; }
done
[ -f "$prefix/share/doc/vkt7100sdk/README.md" ] || { echo "install-check: README.md not installed" >&2; exit 1; }
case $libdir in *//*) echo "install-check: doubled slash in libdir $libdir" >&2; exit 1 ;; esac
for example in live_view record motion; do
  # shellcheck disable=SC2046
  "$cc" "${cflags[@]}" $(pkg-config --cflags vkt7100sdk) -o "$work/pc_$example" "examples/$example.c" \
        $(pkg-config --libs vkt7100sdk) -Wl,-rpath,"$libdir"
done
# shellcheck disable=SC2046
"$cc" "${cflags[@]}" $(pkg-config --cflags vkt7100sdk x11) -o "$work/pc_x11_view" examples/x11_view.c \
      $(pkg-config --libs vkt7100sdk x11) -Wl,-rpath,"$libdir"
printf '#include <vktjpeg.h>\n#include <stdio.h>\nint main(void) { puts(JpegErrorText(JPEG_ERR_NOT_JPEG)); return 0; }\n' \
  >"$work/jpeg_client.c"
# shellcheck disable=SC2046
"$cc" "${cflags[@]}" $(pkg-config --cflags vktjpeg) -o "$work/jpeg_client" "$work/jpeg_client.c" \
      $(pkg-config --libs vktjpeg) -Wl,-rpath,"$libdir"
[ "$("$work/jpeg_client")" = "Not JPEG" ]

echo "== find_package"
cmake -S examples -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
      >/dev/null
cmake --build "$work/cmake" >/dev/null

# The installed simulator of kind $1; sets port.
start_installed_simulator() {
  local kind=$1
  shift
  start_simulator "$prefix/bin/vkt-devsim" "$work/sim" --kind "$kind" --listen 127.0.0.1:0 --user admin --password admin "$@"
}

echo "== run"
start_installed_simulator 7100
"$work/pc_live_view" 7100 127.0.0.1 "$port" admin admin 1 2
"$work/cmake/live_view" 7100 127.0.0.1 "$port" admin admin 0 1
stop_simulators
# Sixteen camera channels through the picture callback, no window.
start_installed_simulator 7100 --channels 16 --camera
"$work/pc_motion" 127.0.0.1 "$port" admin admin 2
"$work/cmake/motion" 127.0.0.1 "$port" admin admin 1
# The Xlib example in a window of its own, on an Xvfb where one is installed.
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/xvfb.display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/xvfb.display" ] && break; sleep 0.1; done
  DISPLAY=:$(cat "$work/xvfb.display") "$work/pc_x11_view" 7100 127.0.0.1 "$port" admin admin 0 1
  DISPLAY=:$(cat "$work/xvfb.display") "$work/cmake/x11_view" 7100 127.0.0.1 "$port" admin admin 1 1
  kill "$xvfb_pid"
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
fi
stop_simulators
start_installed_simulator 5200
"$work/cmake/record" 127.0.0.1 "$port" admin admin 3 "$work/stream.rec"
stop_simulators
[ -s "$work/stream.rec" ] || { echo "install-check: the recording is empty" >&2; exit 1; }
echo "install-check: the installed SDK builds and runs the examples"
