#!/usr/bin/env bash
# The Windows package from finished builds of both architectures
# (scripts/windows.sh package calls this):
#   scripts/windows-package.sh BUILD_X86 BUILD_X64 OUT_DIR
# writes OUT_DIR/vkt7100sdk-VERSION-windows.zip, then checks it: unpacked in
# an empty directory, its files alone build the example for both
# architectures with mingw-w64, every expected file is there, and each DLL
# imports only system DLLs and its companions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
x86=$(realpath "$1") x64=$(realpath "$2")
mkdir -p "$3"
out=$(realpath "$3")
version=$(sed -n 's/^project(vkt7100sdk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=vkt7100sdk-$version-windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dlls=(VKT7100SDK vktjpeg RemoteSocket NVSRemoteSocket DecodeSDK AudDecSDK)
tools=(vkt-viewer vkt-login vkt-jpeg)
libs=(VKT7100SDK.lib vktjpeg.lib VKT7100SDK.dll.a vktjpeg.dll.a)
headers=(vkt7100sdk.h vkt7100sdk_events.h vkt7100sdk_pictures.h vktjpeg.h)

tree=$work/$name
mkdir -p "$tree"/{include,examples,docs}
for header in "${headers[@]}"; do cp "include/$header" "$tree/include/"; done
for arch in x86 x64; do
  [ "$arch" = x86 ] && dir=$x86 || dir=$x64
  mkdir -p "$tree/lib/$arch" "$tree/bin/$arch"
  for lib in "${libs[@]}"; do cp "$dir/lib/$lib" "$tree/lib/$arch/"; done
  for dll in "${dlls[@]}"; do cp "$dir/bin/$dll.dll" "$tree/bin/$arch/"; done
  for tool in "${tools[@]}"; do cp "$dir/bin/$tool.exe" "$tree/bin/$arch/"; done
done
cp examples/windows/view_and_record.c examples/windows/README.txt examples/live_view.c examples/record.c \
  "$tree/examples/"
cp docs/*.md "$tree/docs/"
cp README.md "$tree/"
rm -f "$out/$name.zip"
(cd "$work" && zip -qr "$out/$name.zip" "$name")
echo "package: $out/$name.zip"

# The check, from the archive alone.
check=$work/check
mkdir -p "$check"
unzip -q "$out/$name.zip" -d "$check"
pkg=$check/$name
status=0
for header in "${headers[@]}"; do [ -f "$pkg/include/$header" ] || { echo "missing: include/$header"; status=1; }; done
shopt -s nocasematch
system_dlls='^(KERNEL32|USER32|GDI32|WINMM|WS2_32|BCRYPT|msvcrt|ADVAPI32)\.dll$'
for arch in x86 x64; do
  [ "$arch" = x86 ] && triple=i686-w64-mingw32 format=pei-i386 || triple=x86_64-w64-mingw32 format=pei-x86-64
  for lib in "${libs[@]}"; do [ -f "$pkg/lib/$arch/$lib" ] || { echo "missing: lib/$arch/$lib"; status=1; }; done
  for file in "${dlls[@]/%/.dll}" "${tools[@]/%/.exe}"; do
    if [ ! -f "$pkg/bin/$arch/$file" ]; then
      echo "missing: bin/$arch/$file"
      status=1
      continue
    fi
    "$triple-objdump" -f "$pkg/bin/$arch/$file" | grep -q "file format $format" ||
      { echo "bin/$arch/$file is not $format"; status=1; }
  done
  for dll in "${dlls[@]}"; do
    while read -r import; do
      if ! [[ "$import" =~ $system_dlls ]] && ! printf '%s\n' "${dlls[@]/%/.dll}" | grep -qx "$import"; then
        echo "bin/$arch/$dll.dll imports $import"
        status=1
      fi
    done < <("$triple-objdump" -p "$pkg/bin/$arch/$dll.dll" | sed -n 's/^\s*DLL Name: //p')
  done
  if ! (cd "$pkg" && "$triple-gcc" -Wall -Werror -I include examples/view_and_record.c -L "lib/$arch" -lVKT7100SDK \
          -o "$work/view_and_record_$arch.exe"); then
    echo "the example does not build for $arch from the package"
    status=1
  fi
done
[ $status -eq 0 ] && echo "package check: complete, the example builds from it for x86 and x64"
exit $status
