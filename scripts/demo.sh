#!/usr/bin/env bash
# Demo: installs what is missing, builds, then for each device kind starts
# the device simulator on a free local port and shows its live video with
# vkt-viewer for a few seconds: sixteen channels of JPEG pictures as a grid
# in one window (kind 7100), then one H.264 channel with the overlay,
# recorded to a file (kind 5200). The viewer prints its figures (pictures/s
# per channel, CPU share) every second. With DISPLAY set the window appears
# on that X display; either way the last picture of each tile is saved under
# out/demo/. Exits with the first failing viewer's status (0 when both ran).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build_dir=${VKT_BUILD_DIR:-build}  # another directory for development builds
scripts/build.sh "$build_dir"

workdir=$(mktemp -d)
sim_pid=""
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
trap 'stop_simulator; rm -rf "$workdir"' EXIT
trap 'exit 130' INT TERM

# Starts the simulator of kind $1 with the options after it; sets sim_pid and port.
start_simulator() {
  "$build_dir"/bin/vkt-devsim --kind "$@" --listen 127.0.0.1:0 --user admin --password admin \
    >"$workdir/sim.out" 2>"$workdir/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do
    if grep -q '^listening on ' "$workdir/sim.out"; then
      port=$(sed -n 's/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$workdir/sim.out")
      [ -n "$port" ] && return 0
    fi
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the simulator did not start" >&2
  cat "$workdir/sim.err" >&2
  return 1
}

port=""
status=0
seconds=${VKT_DEMO_SECONDS:-5}
for kind in 7100 5200; do
  echo "== kind $kind =="
  out="out/demo/$kind"
  mkdir -p "$out"
  # The simulator serves as many channels as the viewer shows.
  channels=16
  extra=()
  [ "$kind" = 5200 ] && channels=1 && extra=(--record "$out/stream.rec")
  start_simulator "$kind" --channels "$channels"
  viewer_status=0
  timeout $((seconds + 40)) "$build_dir"/bin/vkt-viewer --kind "$kind" --host 127.0.0.1 --port "$port" \
    --user admin --password admin --seconds "$seconds" --snapshot "$out" --stats --channels "$channels" \
    "${extra[@]}" || viewer_status=$?
  stop_simulator
  echo "== kind $kind: vkt-viewer exited with $viewer_status; pictures in $out =="
  if [ "$status" -eq 0 ]; then status=$viewer_status; fi
done
exit "$status"
