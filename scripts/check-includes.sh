#!/bin/sh
# The include rules between the folders of src/. Each folder may include only
# folders below it, so that a folder can be read, built and tested without
# those above it:
#   - the stand-ins (standin/) are included from standin/ alone: the program's
#     code sees a Windows facility only through its platform header;
#   - registry access stands below the posture policy (no posture/ in registry/);
#   - no chain of includes between folders leads back to where it began.
# Prints what breaks a rule and exits 1; silent and 0 when all hold.
set -eu
cd "$(dirname "$0")/.."
status=0
if grep -rn '#include "standin/' src | grep -v '^src/standin/'; then
    echo "include rule broken: standin/ included outside src/standin/ (above)" >&2
    status=1
fi
if grep -rn '#include "posture/' src/registry; then
    echo "include rule broken: src/registry/ includes posture/ (above)" >&2
    status=1
fi
# Folder-level edges "from to" for tsort, which refuses a graph with a loop
# and names the folders on it.
edges=$(grep -rn --include='*.h' --include='*.cpp' '^#include "[a-z_]*/' src |
    sed -n 's|^src/\([a-z_]*\)/[^:]*:[0-9]*:#include "\([a-z_]*\)/.*|\1 \2|p' |
    awk '$1 != $2' | sort -u)
if ! loop=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null); then
    printf '%s\n' "$loop" >&2
    echo "include rule broken: folders of src/ include each other (the loop above)" >&2
    status=1
fi
exit $status
