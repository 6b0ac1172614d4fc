#!/bin/sh
# Creates the private Wine prefix of the test run (once), registers the test
# Security Center, the test Defender status provider and the test firewall
# policy object in it, and keeps one
# wineserver running for all tests.
# "stop" ends that wineserver.
set -eu
: "${VELMORA_WINEPREFIX:?}" "${VELMORA_BUILD_DIR:?}"
# Wine makes Unix file names in the locale's character set: a UTF-8 locale
# (present in every Debian, unlike LANG) lets it make non-ASCII ones.
export WINEPREFIX="$VELMORA_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" LC_ALL=C.UTF-8 LANG=C.UTF-8

case "${1:-}" in
start)
    if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
        rm -rf "$WINEPREFIX"
        timeout 600 wineboot -i >/dev/null 2>&1 </dev/null
        # Let the server of the first boot write the registry files and exit.
        timeout 120 wineserver -w >/dev/null 2>&1 </dev/null || true
        touch "$WINEPREFIX/.velmora-ready"
    fi
    # A wineserver that outlives single runs; its output must not reach ctest's
    # pipe. It fails harmlessly when one already runs for this prefix.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    timeout 120 wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
    register() {  # register DLL-NAME CLSID THREADING-MODEL
        dll="$VELMORA_BUILD_DIR/$1"
        [ -f "$dll" ] || return 0
        key="HKLM\\Software\\Classes\\CLSID\\$2\\InprocServer32"
        windll="Z:$(printf '%s' "$dll" | tr '/' '\\')"
        timeout 120 wine reg add "$key" /ve /d "$windll" /f >/dev/null 2>&1 </dev/null
        timeout 120 wine reg add "$key" /v ThreadingModel /d "$3" /f >/dev/null 2>&1 </dev/null
    }
    register FakeSecurityCenter.dll '{17072F7B-9ABE-4A74-A261-1EB76B55107A}' Apartment
    # Defender's status provider is served in place of WMI's locator class.
    register FakeDefenderStatus.dll '{4590F811-1D3A-11D0-891F-00AA004B2E24}' Both
    # Windows Firewall's policy object (HNetCfg.FwPolicy2).
    register FakeFirewallPolicy.dll '{E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}' Both
    echo "wine prefix ready: $WINEPREFIX"
    ;;
stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    echo "wineserver stopped"
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
