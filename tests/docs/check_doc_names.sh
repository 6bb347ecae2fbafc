#!/usr/bin/env bash
# The application interface document and the public headers name the same
# result codes, events, loss reasons and answer codes: every such name a
# header defines is documented, and every one the document uses exists.
#   check_doc_names.sh DOC HEADER...
set -euo pipefail
doc=$1
shift
name='VKT_(ERR|EVENT|LOST|ANSWER)_[A-Z0-9_]*[A-Z0-9]'
defined=$(sed -n -E "s/^[[:space:]]*#[[:space:]]*define[[:space:]]+($name)([^A-Za-z0-9_].*)?$/\1/p" "$@" | sort -u)
documented=$(grep -o -E "$name" "$doc" | sort -u)
undocumented=$(comm -23 <(echo "$defined") <(echo "$documented"))
unknown=$(comm -13 <(echo "$defined") <(echo "$documented"))
[ -z "$undocumented" ] || echo "defined in the headers, not in $doc:"$'\n'"$undocumented"
[ -z "$unknown" ] || echo "named in $doc, defined in no header:"$'\n'"$unknown"
[ -z "$undocumented$unknown" ] || exit 1
echo "$doc and the headers name the same $(echo "$defined" | grep -c .) codes and events"
