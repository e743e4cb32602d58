#!/bin/bash
# Installs what is missing, builds everything (native core with sanitizers,
# Windows build) and runs every test: natively, then under Wine on a private
# Xvfb display. Exits non-zero on any failure.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"

"$root/scripts/install-deps.sh" || { echo "test: installing dependencies failed" >&2; exit 1; }

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -- -k 0
}
build native || { echo "test: native build failed" >&2; exit 1; }
build windows || { echo "test: Windows build failed" >&2; exit 1; }

trap stop_session EXIT
start_private_xvfb || exit 1
start_wine "$root/build/wineprefix-test"
unmanaged_windows
echo "test: Wine prefix $WINEPREFIX on display $DISPLAY"

status=0
echo "==== native tests (AddressSanitizer, UndefinedBehaviorSanitizer) ===="
ctest --preset native -j "$(nproc)" || status=1
echo "==== Windows tests under Wine ===="
ctest --preset windows || status=1

stop_session
trap - EXIT
echo "==== reproducible release build ===="
"$root/scripts/check-reproducible.sh" || status=1

if [ "$status" -ne 0 ]; then
  echo "test: FAILED"
else
  echo "test: all tests passed"
fi
exit "$status"
