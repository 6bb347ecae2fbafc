#!/usr/bin/env bash
# Mutation check: plants, one at a time, each one-line slip listed in
# scripts/mutations.txt (or generated from the code), rebuilds
# incrementally, runs the tests and counts the slips the tests catch. A
# habit to run before calling a test task done (slow: not part of CI).
#
#   scripts/mutate.sh [-l LIST] [-d BUILD_DIR] [-t SECONDS] [-m PATTERN] [-- CMAKE_OPTIONS...]
#   scripts/mutate.sh --generate N [--seed S] [--added-by RANGE] [-d ...] [-t ...] [PATH...] [-- CMAKE_OPTIONS...]
#     -l  the slips of LIST, in the hand list's format (default
#         scripts/mutations.txt): a fresh set written for one check
#     -d  build directory (default build-mutate; configured if missing)
#     -t  time limit of one mutation's build plus tests (default 300 s)
#     -m  only mutations whose id matches the extended regex PATTERN
#     --generate N  N slips sampled from the code under PATH... (default:
#         the files this branch changes against main), by
#         scripts/generate_mutants.py; --seed S picks the sample (default 1)
#     --added-by BASE..TIP  generated slips only on the lines those commits
#         added that still stand (by git blame); PATH... defaults to the
#         files the range changes
#
# A mutation is found by file and exact original text (plus which
# occurrence), never by line number, so it survives code moving around; a
# mutation whose text is gone is reported "stale" and left out of the rate,
# and so is one that no longer compiles ("no-build"). The tests of the
# mutated file's own directory run first, then the whole suite, each
# stopping at the first failure; a failing test is run once more, and only a
# second failure counts (a busy machine makes timing tests flaky); after a
# failure that passed its second try the run starts over (three runs at
# most), so a flaky test never hides the tests it stopped.
set -uo pipefail
cd "$(dirname "$0")/.."

build_dir=build-mutate
limit=300
pattern=.
generate=""
seed=1
generated=""
paths=()
added_by=""
usage() { sed -n '2,27p' "$0"; exit 2; }
list=scripts/mutations.txt
while [ $# -gt 0 ]; do
  case $1 in
    -l) list=${2:?}; shift 2 ;;
    -d) build_dir=${2:?}; shift 2 ;;
    -t) limit=${2:?}; shift 2 ;;
    -m) pattern=${2:?}; shift 2 ;;
    --generate) generate=${2:?}; shift 2 ;;
    --seed) seed=${2:?}; shift 2 ;;
    --added-by) added_by=${2:?}; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) [ -n "$generate" ] || usage; paths+=("$1"); shift ;;
  esac
done
# Generated slips that no test can see, each with its reason:
#   file @@ original text @@ replacement text @@ reason
equivalents=scripts/mutants-equivalent.txt
if [ -n "$generate" ]; then
  if [ ${#paths[@]} -eq 0 ]; then
    changed=${added_by/../ }
    [ -n "$added_by" ] || changed="$(git merge-base HEAD main)"
    # shellcheck disable=SC2086 # BASE TIP as two words
    mapfile -t paths < <(git diff --name-only $changed -- '*.cpp' '*.h' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
    [ ${#paths[@]} -gt 0 ] || { echo "no changed sources against main: name the paths" >&2; exit 2; }
  fi
  list=$(mktemp)
  generated=$list
  python3 scripts/generate_mutants.py ${added_by:+--added-by "$added_by"} "$generate" "$seed" "${paths[@]}" >"$list" || exit 2
fi
# Most tests wait on sockets and timers rather than compute: four at a
# time per processor runs the suite in a third of the time.
jobs=$((4 * $(nproc)))
if [ ! -f "$build_dir/build.ninja" ]; then
  scripts/build.sh "$build_dir" "$@" >/dev/null || { echo "unmutated build fails" >&2; exit 1; }
fi
cmake --build "$build_dir" >/dev/null || { echo "unmutated build fails" >&2; exit 1; }
# A test that fails once and passes when run again is flaky (timing on a
# busy machine): only a second failure counts, here and for every mutation.
if ! ctest --test-dir "$build_dir" -j "$jobs" --timeout 120 >/dev/null &&
  ! ctest --test-dir "$build_dir" --rerun-failed --timeout 120 >/dev/null; then
  echo "the unmutated suite fails; fix that first" >&2
  exit 1
fi

# Restores the file under mutation however the script ends.
saved=""
target=""
# Restored with a new time stamp, so the next build recompiles it: with
# the old one the build would keep the mutated object.
restore() { [ -n "$saved" ] && cp "$saved" "$target" && rm -f "$saved"; saved=""; }
trap 'restore; [ -z "$generated" ] || rm -f "$generated"' EXIT
trap 'restore; exit 130' INT TERM

# Tests of the part the mutated file belongs to.
tests_for() {
  case $1 in
    jpeg/* | include/vktjpeg.h) echo tests/jpeg ;;
    transport/*) echo tests/transport ;;
    platform/*) echo tests/platform ;;
    display/*) echo tests/display ;;
    media/* | codec/*) echo tests/media ;;
    sdk/* | include/*) echo tests/sdk ;;
    tools/viewer/*) echo tests/viewer ;;
    tools/vkt-login/*) echo tests/transport ;;
    *) echo . ;;
  esac
}

# Replaces occurrence $4 of the exact text $2 in file $1 by $3; exit 3
# when there is no such occurrence.
apply() {
  perl -e '
    my ($file, $from, $to, $nth) = @ARGV;
    open my $in, "<", $file or exit 3;
    local $/; my $text = <$in>; close $in;
    my $at = -1;
    for (1 .. $nth) { $at = index($text, $from, $at + 1); exit 3 if $at < 0; }
    substr($text, $at, length $from) = $to;
    open my $out, ">", $file or exit 4; print $out $text; close $out;' "$1" "$2" "$3" "$4"
}

total=0 killed=0 survived=0 stale=0 nobuild=0 equivalent=0
survivors=()
# The reason a slip is known to be invisible to every test, or nothing. An
# entry names the file alone (every occurrence of the text) or FILE#N (the
# N-th only, as the generator counts them).
equivalent_reason() {
  [ -f "$equivalents" ] || return 0
  # Through the environment: awk -v would take the backslashes of a slip's
  # text ('\0') as escapes.
  any="$1 @@ $2 @@ $3 @@ " nth="$1#$4 @@ $2 @@ $3 @@ " awk '
    BEGIN { any = ENVIRON["any"]; nth = ENVIRON["nth"] }
    index($0, any) == 1 { print substr($0, length(any) + 1); exit }
    index($0, nth) == 1 { print substr($0, length(nth) + 1); exit }' "$equivalents"
}
# Whether the tests under directory $1 catch the slip within $2 seconds:
# one fails twice. A run stops at its first failure, so when that failure
# passes on its second try (a flaky test) the run starts over, or the tests
# it never reached would count as passed.
catches() {
  local attempt
  for attempt in 1 2 3; do
    rm -f "$1/Testing/Temporary/LastTestsFailed.log"
    timeout "$2" ctest --test-dir "$1" -j "$jobs" --stop-on-failure --timeout 60 >/dev/null 2>&1 && return 1
    timeout "$2" ctest --test-dir "$1" --rerun-failed --timeout 60 >/dev/null 2>&1 || return 0
  done
  return 1
}
while IFS= read -r line; do
  case $line in '' | '#'*) continue ;; esac
  # id @@ file @@ occurrence @@ original @@ replacement
  rest=$line
  fields=()
  while [[ $rest == *' @@ '* ]]; do
    fields+=("${rest%%' @@ '*}")
    rest=${rest#*' @@ '}
  done
  fields+=("$rest")
  if [ ${#fields[@]} -ne 5 ]; then
    echo "malformed: $line" >&2
    continue
  fi
  id=${fields[0]} file=${fields[1]} nth=${fields[2]} from=${fields[3]} to=${fields[4]}
  [[ $id =~ $pattern ]] || continue
  reason=$(equivalent_reason "$file" "$from" "$to" "$nth")
  if [ -n "$reason" ]; then
    equivalent=$((equivalent + 1))
    printf '%-30s equivalent: %s\n' "$id" "$reason"
    continue
  fi
  total=$((total + 1))
  target=$file
  saved=$(mktemp)
  cp "$file" "$saved" 2>/dev/null || { rm -f "$saved"; saved=""; }
  if [ -z "$saved" ] || ! apply "$file" "$from" "$to" "$nth"; then
    restore
    stale=$((stale + 1))
    printf '%-30s stale (text not found in %s)\n' "$id" "$file"
    continue
  fi
  started=$SECONDS
  caught=""
  if ! timeout "$limit" cmake --build "$build_dir" >/dev/null 2>&1; then
    result=no-build
  else
    left=$((limit - (SECONDS - started)))
    [ $left -lt 10 ] && left=10
    first=$(tests_for "$file")
    result=survived
    for dir in "$first" .; do
      failed_log=$build_dir/$dir/Testing/Temporary/LastTestsFailed.log
      if catches "$build_dir/$dir" "$left"; then
        result=killed
        # The test that caught it (twice), so each kill can be checked.
        caught=$(sed -n '1s/^[0-9]*://p' "$failed_log" 2>/dev/null)
        [ -n "$caught" ] || caught="(time limit)"
        break
      fi
      [ "$dir" = . ] && break
    done
  fi
  restore
  case $result in
    killed) killed=$((killed + 1)) ;;
    survived) survived=$((survived + 1)); survivors+=("$id  $file: '$from' -> '$to'") ;;
    no-build) nobuild=$((nobuild + 1)) ;;
  esac
  printf '%-30s %-9s %3ds %s\n' "$id" "$result" $((SECONDS - started)) "${caught:-}"
done <"$list"

# Leave the build matching the unmutated sources.
cmake --build "$build_dir" >/dev/null 2>&1

counted=$((killed + survived))
echo
echo "mutations: $total  killed: $killed  survived: $survived  stale: $stale  no-build: $nobuild  equivalent: $equivalent"
if [ $counted -gt 0 ]; then
  echo "kill rate: $((100 * killed / counted))% ($killed of $counted)"
fi
for s in "${survivors[@]}"; do echo "survivor: $s"; done
# A generated slip that does not compile is simply not a slip; a stale or
# unbuildable hand-listed one needs rewriting.
[ -n "$generate" ] && exit 0
[ $stale -eq 0 ] && [ $nobuild -eq 0 ]
