#!/bin/sh
# Runs a Windows program under Wine with the test rig's prefix and display.
# The test script exports WINEPREFIX and DISPLAY; these defaults serve a
# developer who runs a single test by hand.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
