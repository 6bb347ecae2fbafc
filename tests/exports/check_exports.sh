#!/usr/bin/env bash
# Checks that a shared library exports exactly the given functions:
#   check_exports.sh LIBRARY NAME...
# Names the toolchain reserves (leading "__", _init, _fini, _edata, _end,
# __bss_start) are not the library's own and are ignored.
set -euo pipefail
lib=$1
shift
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' |
         grep -v -E '^(__|_init$|_fini$|_edata$|_end$|__bss_start$)' | sort -u || true)
expected=$(printf '%s\n' "$@" | sed '/^$/d' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exports of $lib differ from the expected set"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$lib exports $(echo "$expected" | grep -c . || true) functions, as expected"
