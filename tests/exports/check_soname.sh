#!/usr/bin/env bash
# Checks that a shared library carries the SONAME a packager and the
# applications linked against it rely on, and that the name resolves in
# the library's directory:
#   check_soname.sh LIBRARY SONAME
set -euo pipefail
lib=$1
expected=$2
actual=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$actual" != "$expected" ]; then
  echo "SONAME of $lib is '${actual:-(none)}', expected '$expected'"
  exit 1
fi
if [ ! -e "$(dirname "$lib")/$expected" ]; then
  echo "$expected does not exist beside $lib"
  exit 1
fi
echo "$lib has SONAME $expected"
