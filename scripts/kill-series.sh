#!/bin/bash
# Kills the real OtpTool.exe at random moments of HOTP and TOTP saves into
# 100,000-token seed files, by TerminateProcess and by SIGKILL from outside
# Wine in turn, and starts it again after each kill, checking every time that
# no seed was lost from the key or the seed files and that each file holds the
# key's own seed: 100 kills, or as many as the first argument says
# (OTP_KILL_SEED repeats a series). Uses the Windows build
# and a private Xvfb display and Wine prefix, as test.sh does; prints one line.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
kills=${1:-100}

{ cmake --preset windows >/dev/null &&
  cmake --build --preset windows --target e2e_tests OtpTool CV_Manager virtualkey >/dev/null; } ||
  { echo "kill-series: the Windows build failed" >&2; exit 1; }

trap stop_session EXIT
start_private_xvfb || exit 1
start_wine "$root/build/wineprefix-test"
unmanaged_windows

output=$(mktemp)
started=$(date +%s)
OTP_KILL_SERIES=$kills "$root/scripts/wine-run.sh" "$root/build/windows/bin/e2e_tests.exe" \
  --gtest_filter=InterruptedSave.RandomKillSeries >"$output" 2>&1
status=$?
seconds=$(($(date +%s) - started))
summary=$(tr -d '\r' <"$output" | grep -m1 '^kill series:' || echo "kill series: no summary")
if [ "$status" -eq 0 ]; then
  echo "kill-series: passed in $seconds s; $summary"
else
  tr -d '\r' <"$output" >&2
  echo "kill-series: FAILED in $seconds s; $summary"
fi
rm -f "$output"
exit "$status"
