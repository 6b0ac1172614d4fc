#!/bin/sh
# Builds the Linux program and runs its main job on the bundled example
# machine (example/ProgramData, copied to a scratch folder), then shows what
# the run produced: the inventory file, the verdict file and the log.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux >/dev/null

machine=$(mktemp -d /tmp/velmora-example-XXXXXX)
cp -r example/ProgramData/. "$machine/"
export VELMORA_PROGRAMDATA="$machine"
status=0
./build/linux/VelmoraAvInfo -av -as -fw "-outpath=$machine/inventory.json" || status=$?

echo "== exit status: $status"
echo "== inventory ($machine/inventory.json):"
cat "$machine/inventory.json" 2>/dev/null || echo "(not written)"
echo
echo "== verdict ($machine/Velmora/VelmoraVPN/logs/check.json):"
cat "$machine/Velmora/VelmoraVPN/logs/check.json" 2>/dev/null | tr -d '\r' || echo "(not written)"
echo "== log ($machine/Velmora/VelmoraVPN/logs/$(id -un)/avInfo.log):"
cat "$machine/Velmora/VelmoraVPN/logs/$(id -un)/avInfo.log"
