#!/bin/bash
# The real OtpTool.exe under Wine: "Save" (HOTP) to the success line with
# hseeds.xml of 1,000, 100,000 and 1,000,000 tokens (SIZES), beside a copy and
# flush of the same file, and how much the save raised the tool's peak working
# set. The 1,000-token row shows the part of a Save that does not depend on the
# file. The peak working set rises by what the save holds besides what the
# form already read; a serial typed in, not drawn by "Generate", also reads
# the four seed files at the save (eight bytes a serial). Uses the Windows
# build and a private Xvfb display and Wine prefix.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
. "$root/bench/bench_lib.sh"
sizes=${SIZES:-"1000 100000 1000000"}
runs=${RUNS:-5}

start_wine_bench

printf '%8s | %9s | %10s | %6s | %9s\n' tokens "save ms" "copy+flush" ratio "+MiB"
for tokens in $sizes; do
  results=$(mktemp)
  # Each round writes the file, flushes it, takes the copy + flush floor and
  # then the save, in one run of the bench.
  for ((i = 0; i < runs; i++)); do
    sync
    wine "$root/build/windows/bin/wine_save_bench.exe" "$tokens" | tr -d '\r' >>"$results"
  done
  save=$(cut -d' ' -f1 "$results" | median)
  copy=$(cut -d' ' -f2 "$results" | median)
  added=$(cut -d' ' -f3 "$results" | sort -n | tail -1)
  rm -f "$results"
  awk -v t="$tokens" -v s="$save" -v c="$copy" -v a="$added" 'BEGIN {
    printf "%8d | %9.1f | %10.1f | %6.2f | %9.1f\n", t, s * 1000, c * 1000, s / c, a / 1024 }'
done
echo "medians of $runs runs; +MiB: the rise of the tool's peak working set during the save (largest of the runs)."
