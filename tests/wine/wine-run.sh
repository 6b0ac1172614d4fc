#!/bin/sh
# Runs a Windows program of the build under Wine in the test prefix.
: "${VELMORA_WINEPREFIX:?VELMORA_WINEPREFIX must name the test prefix}"
# Wine makes Unix file names in the locale's character set: a UTF-8 locale
# (present in every Debian, unlike LANG) lets it make non-ASCII ones.
export WINEPREFIX="$VELMORA_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=C.UTF-8 LANG=C.UTF-8
exec timeout 600 wine "$@"
