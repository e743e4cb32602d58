#!/bin/bash
# Builds the tool with the virtual key as its CV_Manager.dll and starts it
# under Wine on the current display (or on a private Xvfb when there is none).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"

"$root/scripts/install-deps.sh" || exit 1
cmake --preset windows >/dev/null && cmake --build --preset windows --target OtpTool CV_Manager virtualkey || exit 1

# What this script starts, it stops when the tool ends or the script is
# interrupted (Ctrl-C, SIGTERM): the tool, the private display, and the
# wineserver and Wine's services unless they served the prefix before
# (another program of the operator's may be using them).
prefix="${WINEPREFIX:-$root/build/wineprefix}"
own_wineserver=false
wineserver_running "$prefix" || own_wineserver=true
tool_pid=""
clean_up() {
  if [ -n "$tool_pid" ] && kill -0 "$tool_pid" 2>/dev/null; then
    kill "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
  fi
  if $own_wineserver; then WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; fi
  stop_private_xvfb
}
trap clean_up EXIT
# The tool runs in the background so that a signal reaches this script at
# once, not only after the tool has ended by itself.
trap 'echo "run: interrupted; ending the tool" >&2; exit 130' INT
trap 'echo "run: terminated; ending the tool" >&2; exit 143' TERM

if [ -z "${DISPLAY:-}" ]; then
  start_private_xvfb || { echo "run: there is no display and no Xvfb could be started" >&2; exit 1; }
  echo "run: no display was set; the tool runs on a private Xvfb display $DISPLAY"
  echo "run: (other programs reach it with DISPLAY=$DISPLAY; Ctrl-C here ends the tool and the display)"
fi
start_wine "$prefix"

bin="$root/build/windows/bin"
echo "run: starting $bin/OtpTool.exe (virtual key state: ${CV_VIRTUAL_KEY:-$bin/virtual-key.xml})"
wine "$bin/OtpTool.exe" &
tool_pid=$!
wait "$tool_pid"
code=$?
tool_pid=""
echo "run: the tool ended with exit code $code"
# 1 (OK) and 2 (Cancel, Esc, close box) are normal ends; 0 means no window.
case "$code" in
  1|2) exit 0 ;;
  *) exit 1 ;;
esac
