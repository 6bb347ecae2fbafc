#!/usr/bin/env bash
# The 32-bit Windows build and its tests under Wine.
#   scripts/windows.sh build   cross-compiles everything into build-win32/
#   scripts/windows.sh test    builds, then runs the Windows test programs
#                              under Wine (+ Xvfb), and the viewer screenshot
# Debian packages are installed only when missing. FFmpeg's H.264 decoder is
# built once into build-win32/ffmpeg (scripts/ffmpeg-win32.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$root/build-win32

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive

# Installs the named packages that are not installed yet.
install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  $sudo_cmd apt-get update
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
}

build() {
  bash scripts/deps.sh
  install_missing g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest pkg-config make
  bash scripts/ffmpeg-win32.sh "$dir/ffmpeg"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
  cmake --build "$dir" -j "$(nproc)"
}

case "${1:-}" in
  build) build ;;
  test)
    build
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo_cmd dpkg --add-architecture i386
      $sudo_cmd apt-get update
    fi
    install_missing wine wine32:i386 xvfb x11-apps x11-utils netpbm python3
    bash scripts/windows-test.sh "$dir"
    ;;
  *) echo "usage: scripts/windows.sh build|test" >&2; exit 2 ;;
esac
