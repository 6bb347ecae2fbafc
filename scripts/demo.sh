#!/usr/bin/env bash
# Demo: installs what is missing, builds, then for each device kind starts
# the device simulator on a free local port and logs in to it with
# vkt-login. Exits with the first failing client's status (0 when both
# logins are accepted).
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

# Starts the simulator of kind $1; sets sim_pid and port.
start_simulator() {
  "$build_dir"/bin/vkt-devsim --kind "$1" --listen 127.0.0.1:0 --user admin --password admin \
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
for kind in 5200 7100; do
  echo "== kind $kind =="
  start_simulator "$kind"
  client_status=0
  timeout 30 "$build_dir"/bin/vkt-login --kind "$kind" --host 127.0.0.1 --port "$port" \
    --user admin --password admin || client_status=$?
  stop_simulator
  echo "== kind $kind: vkt-login exited with $client_status =="
  if [ "$status" -eq 0 ]; then status=$client_status; fi
done
exit "$status"
