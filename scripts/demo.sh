#!/usr/bin/env bash
# Demo: installs what is missing, builds, then for each device kind starts
# the device simulator on a free local port and shows its live video with
# vkt-viewer for a few seconds: sixteen channels of camera-like JPEG
# pictures as a grid in one window (kind 7100), then one H.264 channel with
# the overlay, recorded to a file (kind 5200). The viewer prints its figures (pictures/s
# per channel, CPU share) every second. With DISPLAY set the window appears
# on that X display; either way the last picture of each tile is saved under
# out/demo/. Exits with the first failing viewer's status (0 when both ran).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build_dir=${VKT_BUILD_DIR:-build}  # another directory for development builds
scripts/build.sh "$build_dir"

workdir=$(mktemp -d)
source scripts/simulators.sh
trap 'stop_simulators; rm -rf "$workdir"' EXIT

status=0
seconds=${VKT_DEMO_SECONDS:-5}
for kind in 7100 5200; do
  echo "== kind $kind =="
  out="out/demo/$kind"
  mkdir -p "$out"
  # The simulator serves as many channels as the viewer shows; kind 7100
  # with camera-like pictures, each channel its own.
  channels=16
  content=(--camera)
  extra=()
  [ "$kind" = 5200 ] && channels=1 && content=() && extra=(--record "$out/stream.rec")
  start_simulator "$build_dir"/bin/vkt-devsim "$workdir/sim" --kind "$kind" --listen 127.0.0.1:0 \
    --user admin --password admin --channels "$channels" "${content[@]}"
  viewer_status=0
  timeout $((seconds + 40)) "$build_dir"/bin/vkt-viewer --kind "$kind" --host 127.0.0.1 --port "$port" \
    --user admin --password admin --seconds "$seconds" --snapshot "$out" --stats --channels "$channels" \
    "${extra[@]}" || viewer_status=$?
  stop_simulators
  echo "== kind $kind: vkt-viewer exited with $viewer_status; pictures in $out =="
  if [ "$status" -eq 0 ]; then status=$viewer_status; fi
done
exit "$status"
