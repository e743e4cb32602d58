#!/bin/bash
# Builds the tool with the virtual key as its CV_Manager.dll and starts it
# under Wine on the current display (or on a private Xvfb when there is none).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"

"$root/scripts/install-deps.sh" || exit 1
cmake --preset windows >/dev/null && cmake --build --preset windows --target OtpTool CV_Manager virtualkey || exit 1

if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || { echo "run: there is no display and no Xvfb could be started" >&2; exit 1; }
  echo "run: no display was set; the tool runs on a private Xvfb display $DISPLAY"
  echo "run: (other programs reach it with DISPLAY=$DISPLAY; it ends when the tool is closed)"
  trap stop_session EXIT
fi
prefix="${WINEPREFIX:-$root/build/wineprefix}"
# What this script starts, it stops when the tool ends: the wineserver and
# Wine's services, unless they served the prefix before (another program of
# the operator's may be using them).
if ! wineserver_running "$prefix"; then
  trap 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; stop_session' EXIT
fi
start_wine "$prefix"

bin="$root/build/windows/bin"
echo "run: starting $bin/OtpTool.exe (virtual key state: ${CV_VIRTUAL_KEY:-$bin/virtual-key.xml})"
wine "$bin/OtpTool.exe"
code=$?
echo "run: the tool ended with exit code $code"
# 1 (OK) and 2 (Cancel, Esc, close box) are normal ends; 0 means no window.
case "$code" in
  1|2) exit 0 ;;
  *) exit 1 ;;
esac
