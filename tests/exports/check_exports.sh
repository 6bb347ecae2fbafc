#!/usr/bin/env bash
# Checks that a shared library exports exactly the given functions, or only
# names that match a pattern:
#   check_exports.sh LIBRARY NAME...
#   check_exports.sh LIBRARY --pattern REGEX
# Names the toolchain reserves (leading "__", _init, _fini, _edata, _end,
# __bss_start) are not the library's own and are ignored.
set -euo pipefail
lib=$1
shift
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' |
         grep -v -E '^(__|_init$|_fini$|_edata$|_end$|__bss_start$)' | sort -u || true)
if [ "${1:-}" = "--pattern" ]; then
  stray=$(echo "$actual" | grep -v -E "$2" || true)
  if [ -z "$actual" ] || [ -n "$stray" ]; then
    echo "exports of $lib outside $2:"
    echo "${stray:-(no exports at all)}"
    exit 1
  fi
  echo "$lib exports $(echo "$actual" | grep -c .) functions, all matching $2"
  exit 0
fi
expected=$(printf '%s\n' "$@" | sed '/^$/d' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exports of $lib differ from the expected set"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$lib exports $(echo "$expected" | grep -c . || true) functions, as expected"
