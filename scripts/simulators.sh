# Sourced by the scripts that run device simulators (demo.sh, soak.sh,
# install-check.sh): starts them in the background and ends every one when
# the script exits, whichever way it exits (its end, an error under set -e,
# INT or TERM). A script with cleanup of its own calls stop_simulators from
# its EXIT trap. Start a simulator in the script's own shell, never inside
# $(...): a subshell's process ids never reach the cleanup.
#   start_simulator DEVSIM OUTPUT_PREFIX ARGUMENTS...
#       runs DEVSIM ARGUMENTS... (stdout to OUTPUT_PREFIX.out, stderr to
#       OUTPUT_PREFIX.err), waits for its "listening on" line, sets port and
#       sim_pid; fails with its stderr when it does not start
#   stop_simulators   ends every simulator started so far
simulator_pids=()

start_simulator() {
  local devsim=$1 prefix=$2
  shift 2
  "$devsim" "$@" >"$prefix.out" 2>"$prefix.err" &
  sim_pid=$!
  simulator_pids+=("$sim_pid")
  port=""
  for _ in $(seq 300); do
    port=$(sed -n 's/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$prefix.out")
    [ -n "$port" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$(basename "$0"): the simulator did not start" >&2
  cat "$prefix.err" >&2
  return 1
}

stop_simulators() {
  local pid
  for pid in "${simulator_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${simulator_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  simulator_pids=()
}

trap stop_simulators EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
