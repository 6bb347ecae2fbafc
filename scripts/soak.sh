#!/usr/bin/env bash
# Soak: runs the device simulator and vkt-viewer of both kinds side by side
# for MINUTES: 16 channels of kind 7100, and one kind-5200 channel recorded
# to a file. Every 10 s it samples each viewer's resident memory, open
# descriptors and threads. Fails when, after the first minute, a viewer's
# memory grows more than 5% or its descriptors or threads grow; when a
# channel goes more than a second without a picture (from the simulators'
# logs of what they sent, which stall when the viewer does); when a viewer
# does not exit cleanly; or when the recording is not whole. The simulators
# and viewers it starts end with it, however it exits.
#   scripts/soak.sh MINUTES        (files in out/soak/)
# VKT_SOAK_MAX_GAP_MS changes the longest gap allowed (default 1000 ms),
# for machines too busy to keep up.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: scripts/soak.sh MINUTES}
[ "$minutes" -ge 2 ] 2>/dev/null || { echo "soak.sh: MINUTES must be 2 or more" >&2; exit 2; }
seconds=$((minutes * 60))
max_gap_ms=${VKT_SOAK_MAX_GAP_MS:-1000}
scripts/deps.sh
build_dir=${VKT_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja >/dev/null
cmake --build "$build_dir" --target vkt-devsim vkt-viewer
bin="$build_dir/bin"
out=out/soak
rm -rf "$out"
mkdir -p "$out"

source scripts/simulators.sh
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  stop_simulators
}
trap cleanup EXIT

# The simulator of kind $1 with $2 channels and its picture log.
start_soak_simulator() {
  start_simulator "$bin/vkt-devsim" "$out/devsim$1" --kind "$1" --listen 127.0.0.1:0 --channels "$2" \
    --picture-log "$out/sent$1.log"
}

start_soak_simulator 7100 16
port7100=$port
start_soak_simulator 5200 1
port5200=$port
"$bin/vkt-viewer" --kind 7100 --port "$port7100" --channels 16 --seconds "$seconds" >"$out/viewer7100.out" 2>&1 &
viewer7100=$!
"$bin/vkt-viewer" --kind 5200 --port "$port5200" --channels 1 --seconds "$seconds" --record "$out/recording.rec" \
  >"$out/viewer5200.out" 2>&1 &
viewer5200=$!
pids+=("$viewer7100" "$viewer5200")

# One line per viewer and sample: elapsed seconds, kind, RSS in KiB, descriptors, threads.
sample() {
  local elapsed=$1 kind=$2 pid=$3
  [ -r "/proc/$pid/status" ] || return 0
  local rss threads fds
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
  fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
  [ -n "$rss" ] && echo "$elapsed $kind $rss $fds $threads" >>"$out/samples.txt"
}

echo "soaking for $minutes minute(s); samples (seconds kind rss_kib fds threads):"
start=$(date +%s)
while kill -0 "$viewer7100" 2>/dev/null || kill -0 "$viewer5200" 2>/dev/null; do
  sleep 10
  elapsed=$(($(date +%s) - start))
  [ "$elapsed" -le "$seconds" ] || break
  sample "$elapsed" 7100 "$viewer7100"
  sample "$elapsed" 5200 "$viewer5200"
  tail -n 2 "$out/samples.txt" 2>/dev/null | sed 's/^/  /'
done
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
for kind in 7100 5200; do
  viewer_pid=viewer$kind
  status=0
  wait "${!viewer_pid}" || status=$?
  [ "$status" -eq 0 ] || fail "vkt-viewer of kind $kind exited with $status (see $out/viewer$kind.out)"
done

# Memory, descriptors and threads against the first sample after a minute.
while read -r verdict; do
  fail "$verdict"
done < <(awk '
  $1 < 60 { next }
  !($2 in rss) { rss[$2] = $3; fds[$2] = $4; threads[$2] = $5; ++viewers; next }
  $3 > rss[$2] * 1.05 { printf "kind %s: RSS %d KiB at %d s, over 5%% above %d KiB\n", $2, $3, $1, rss[$2] }
  $4 > fds[$2] { printf "kind %s: %d descriptors at %d s, more than %d\n", $2, $4, $1, fds[$2] }
  $5 > threads[$2] { printf "kind %s: %d threads at %d s, more than %d\n", $2, $5, $1, threads[$2] }
  END { if (viewers < 2) print "fewer than two viewers sampled after the first minute" }
' "$out/samples.txt")

# Pictures: every channel, from its first picture on, never longer than
# the limit without one until its last.
check_gaps() {
  local kind=$1 channels=$2
  awk -v kind="$kind" -v channels="$channels" -v limit="$max_gap_ms" '
    { if ($2 in last && $1 - last[$2] > gap[$2]) gap[$2] = $1 - last[$2]; last[$2] = $1; if (!($2 in gap)) gap[$2] = 0 }
    END {
      for (c = 0; c < channels; ++c) {
        if (!(c in last)) printf "kind %s: channel %d got no picture\n", kind, c
        else if (gap[c] > limit) printf "kind %s: channel %d went %d ms without a picture\n", kind, c, gap[c]
      }
    }' "$out/sent$kind.log"
}
while read -r verdict; do fail "$verdict"; done < <(check_gaps 7100 16; check_gaps 5200 1)

# The recording: header segments back to back, each header's length
# reaching the next header, boxes filling every segment exactly.
check_recording() {
  local file=$1
  [ -s "$file" ] || { echo "recording $file is missing or empty"; return; }
  od -An -v -tu1 "$file" | awk -v name="$file" '
    { for (i = 1; i <= NF; ++i) b[n++] = $i }
    function le32(p) { return b[p] + 256 * (b[p + 1] + 256 * (b[p + 2] + 256 * b[p + 3])) }
    function be32(p) { return b[p + 3] + 256 * (b[p + 2] + 256 * (b[p + 1] + 256 * b[p])) }
    function is(p, text) { return sprintf("%c%c%c%c", b[p], b[p + 1], b[p + 2], b[p + 3]) == text }
    END {
      at = 0; segments = 0
      while (at < n) {
        if (n - at < 512 || !is(at, "rvdx")) { printf "%s: no header at byte %d\n", name, at; exit }
        end = at + le32(at + 36)
        if (end <= at + 512 || end > n || (end < n && !is(end, "rvdx"))) end = n
        for (p = at + 512; p < end; p += size) {
          size = be32(p)
          if (end - p < 24 || !is(p + 4, "qbox") || size < 24 || size > end - p) {
            printf "%s: segment at byte %d has a bad box at byte %d\n", name, at, p; exit
          }
        }
        at = end; ++segments
      }
      if (segments < 2) printf "%s: only %d segment(s)\n", name, segments
    }'
}
while read -r verdict; do fail "$verdict"; done < <(check_recording "$out/recording.rec")

grep -h "pictures shown" "$out/viewer7100.out" "$out/viewer5200.out" | sed 's/^/  /' || true
if [ "$failures" -gt 0 ]; then
  echo "soak: $failures failure(s); files in $out/"
  exit 1
fi
echo "soak: passed ($minutes minute(s)); files in $out/"
