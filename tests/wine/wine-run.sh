#!/bin/sh
# Runs a Windows program of the build under Wine in the test prefix.
: "${VELMORA_WINEPREFIX:?VELMORA_WINEPREFIX must name the test prefix}"
export WINEPREFIX="$VELMORA_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
exec timeout 600 wine "$@"
