#!/usr/bin/env bash
# The SDK as an MSVC-built application uses it: examples/windows/
# view_and_record.c compiled by clang in MSVC mode and linked by lld-link
# against the build's COFF import library (VKT7100SDK.lib) and the
# system's, then run under Wine beside the DLLs an application ships, with
# a simulator of each kind. No MSVC headers or runtime libraries exist here:
# mingw-w64's headers and msvcrt.dll's import library stand in for them
# (tests/win32/msvc_crt_start.c gives main its arguments). Those headers
# take the GNU paths that clang offers in MSVC mode with -fgnuc-version,
# want the 32-bit target named as _X86_, and stdio as msvcrt.dll has it.
#   scripts/windows-msvc-example.sh BUILD_DIR DEVSIM WORK_DIR
# Called by scripts/windows-test.sh, with WINE set to the Wine loader of
# the build's architecture and the Wine prefix in the environment.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=$1 devsim=$2 work=$3
wine=${WINE:-wine}
if grep -q '^CMAKE_TOOLCHAIN_FILE.*mingw-x86_64' "$dir/CMakeCache.txt"; then
  target=x86_64-pc-windows-msvc mingw=x86_64-w64-mingw32 machine=x64 headers=() link=()
else
  target=i686-pc-windows-msvc mingw=i686-w64-mingw32 machine=x86 headers=(-D_X86_)
  # mingw-w64's import libraries carry no table of safe exception handlers.
  link=(/safeseh:no)
fi
mkdir -p "$work"
cd "$work"

compile() {
  clang --target="$target" -O1 -Wall -Werror -fgnuc-version=4.2.1 "${headers[@]}" -D__USE_MINGW_ANSI_STDIO=0 \
    -D_CRT_SECURE_NO_WARNINGS -I "$root/include" -isystem "/usr/$mingw/include" -c "$1" -o "$2"
}
compile "$root/examples/windows/view_and_record.c" view_and_record.obj
compile "$root/tests/win32/msvc_crt_start.c" crt_start.obj
lld-link /nologo /machine:$machine "${link[@]}" /subsystem:console /entry:mainCRTStartup /nodefaultlib \
  /out:view_and_record.exe view_and_record.obj crt_start.obj "$dir/lib/VKT7100SDK.lib" \
  "/libpath:/usr/$mingw/lib" libmsvcrt.a libkernel32.a libuser32.a

# What an application ships beside its program (docs/windows.md).
for dll in VKT7100SDK vktjpeg RemoteSocket NVSRemoteSocket DecodeSDK AudDecSDK; do
  cp "$dir/bin/$dll.dll" .
done

pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
port_of() {
  "$devsim" --kind "$1" --listen 127.0.0.1:0 > "devsim$1.out" &
  pids+=($!)
  for _ in $(seq 50); do grep -q "listening on" "devsim$1.out" 2>/dev/null && break; sleep 0.1; done
  sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "devsim$1.out"
}
port7100=$(port_of 7100)
port5200=$(port_of 5200)
"$wine" view_and_record.exe 127.0.0.1 "$port7100" "$port5200" admin admin 4 example.rec
