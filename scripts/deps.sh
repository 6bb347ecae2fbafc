#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need,
# running apt-get only when something is missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libgtest-dev libgmock-dev
          libjpeg62-turbo-dev libpng-dev libx11-dev libxext-dev xvfb x11-utils imagemagick
          binutils libavcodec-dev libavutil-dev libavformat-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
