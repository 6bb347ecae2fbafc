#!/usr/bin/env bash
# The Windows builds, 32-bit (x86, build-win32/) and 64-bit (x64,
# build-win64/), their tests under Wine and the package.
#   scripts/windows.sh build [x86|x64]    cross-compiles (both when no
#                                         architecture is named)
#   scripts/windows.sh test [x86|x64]     builds, then runs the Windows test
#                                         programs, the MSVC-mode example and
#                                         the viewer screenshot under Wine
#                                         (32-bit Wine for x86, 64-bit for x64)
#   scripts/windows.sh package            builds both, writes
#                                         out/windows/vkt7100sdk-VERSION-windows.zip
#                                         and builds the example from it alone
# Debian packages are installed only when missing. FFmpeg's H.264 decoder is
# built once per architecture into build-win*/ffmpeg (scripts/ffmpeg-win32.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

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

# The build directory, compiler triple and FFmpeg architecture of each.
dir_of() { [ "$1" = x64 ] && echo "$root/build-win64" || echo "$root/build-win32"; }
triple_of() { [ "$1" = x64 ] && echo x86_64 || echo i686; }

build_one() {
  local arch=$1 dir triple
  dir=$(dir_of "$arch")
  triple=$(triple_of "$arch")
  install_missing "g++-mingw-w64-${triple/_/-}-posix" "binutils-mingw-w64-${triple/_/-}" googletest pkg-config make \
    llvm lld clang zip unzip
  bash scripts/ffmpeg-win32.sh "$dir/ffmpeg" "$triple"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$triple.cmake"
  cmake --build "$dir" -j "$(nproc)"
}

test_one() {
  local arch=$1
  build_one "$arch"
  if [ "$arch" = x86 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo_cmd dpkg --add-architecture i386
      $sudo_cmd apt-get update
    fi
    install_missing wine wine32:i386 xvfb x11-apps x11-utils netpbm python3
    # Some kernels (virtual machines among them) run no 32-bit programs at
    # all: 32-bit Wine cannot start there, so the set is built but not run.
    if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
      echo "windows.sh: this machine runs no 32-bit programs; the 32-bit set is built, its tests are not run"
      return 0
    fi
  else
    install_missing wine wine64 xvfb x11-apps x11-utils netpbm python3
  fi
  bash scripts/windows-test.sh "$(dir_of "$arch")"
}

archs=(x86 x64)
[ -n "${2:-}" ] && archs=("$2")
for arch in "${archs[@]}"; do
  case "$arch" in x86|x64) ;; *) echo "unknown architecture: $arch (x86 or x64)" >&2; exit 2 ;; esac
done

case "${1:-}" in
  build) bash scripts/deps.sh; for arch in "${archs[@]}"; do build_one "$arch"; done ;;
  test)
    bash scripts/deps.sh
    status=0
    for arch in "${archs[@]}"; do test_one "$arch" || status=1; done
    exit $status
    ;;
  package)
    bash scripts/deps.sh
    for arch in x86 x64; do build_one "$arch"; done
    bash scripts/windows-package.sh "$(dir_of x86)" "$(dir_of x64)" "$root/out/windows"
    ;;
  *) echo "usage: scripts/windows.sh build|test|package [x86|x64]" >&2; exit 2 ;;
esac
