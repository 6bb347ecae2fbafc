#!/usr/bin/env bash
# Builds FFmpeg's H.264 decoder alone as static mingw libraries (libavcodec +
# libavutil) from Debian's own ffmpeg source package, for the Windows
# DecodeSDK.dll of one architecture. The result is cached under the prefix and
# rebuilt only when missing; nothing else depends on an earlier run.
#   scripts/ffmpeg-win32.sh [prefix] [i686|x86_64]
#                                 (default build-win32/ffmpeg i686)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=${1:-$root/build-win32/ffmpeg}
arch=${2:-i686}
case "$arch" in
  i686) arch_flags=(--arch=x86 --cpu=i686) ;;
  x86_64) arch_flags=(--arch=x86_64) ;;
  *) echo "ffmpeg-win32: unknown architecture $arch" >&2; exit 2 ;;
esac
stamp=$prefix/.built
[ -f "$stamp" ] && { echo "ffmpeg-win32: cached in $prefix"; exit 0; }

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive

# Source entries for the archive the machine already uses for binaries.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  list=/etc/apt/sources.list.d/vkt-debian-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    # deb822: the same stanzas with Types: deb-src.
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo_cmd tee "$list" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      $sudo_cmd tee /etc/apt/sources.list.d/vkt-debian-src.list >/dev/null
  fi
  $sudo_cmd apt-get update
fi
command -v dpkg-source >/dev/null || $sudo_cmd apt-get install -y --no-install-recommends dpkg-dev

work=$prefix.src
mkdir -p "$work"
if ! ls -d "$work"/ffmpeg-*/configure >/dev/null 2>&1; then
  (cd "$work" && apt-get source ffmpeg)
fi
src=$(dirname "$(ls -d "$work"/ffmpeg-*/configure | head -1)")
build=$work/build-$arch
rm -rf "$build"
mkdir -p "$build"
cd "$build"
"$src/configure" --prefix="$prefix" --target-os=mingw32 "${arch_flags[@]}" --enable-cross-compile \
  --cross-prefix="$arch"-w64-mingw32- --pkg-config=pkg-config \
  --enable-static --disable-shared --disable-programs --disable-doc --disable-debug --disable-autodetect \
  --disable-everything --enable-decoder=h264 --enable-parser=h264 \
  --disable-avdevice --disable-avformat --disable-avfilter --disable-swscale --disable-swresample \
  --disable-postproc --disable-network --disable-x86asm --enable-w32threads
make -j"$(nproc)"
make install
touch "$stamp"
rm -rf "$build"
echo "ffmpeg-win32: installed in $prefix"
