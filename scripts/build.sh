#!/usr/bin/env bash
# Configures and builds into a build directory:
#   scripts/build.sh [DIR] [--target TARGET] [cmake options...]
# (every target unless one is named).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
target=()
if [ "${1:-}" = "--target" ]; then
  target=(--target "${2:?--target needs a target}")
  shift 2
fi
cmake -S . -B "$dir" -G Ninja -DVKT_WERROR=ON "$@"
cmake --build "$dir" -j "$(nproc)" "${target[@]}"
