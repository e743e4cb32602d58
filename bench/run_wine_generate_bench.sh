#!/bin/bash
# The real OtpTool.exe under Wine: the serial "Generate" of the New Token form
# with the four seed files of 1,000, 1,000,000 and 3,000,000 tokens each
# (SIZES): the form's first click, which reads them all, beside a plain read of
# all four; and a later click, which reads none again, beside the same click
# with 1,000-token files. Uses the Windows build and a private Xvfb display and
# Wine prefix.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
. "$root/bench/bench_lib.sh"
sizes=${SIZES:-"1000 1000000 3000000"}
runs=${RUNS:-3}

start_wine_bench

printf '%8s | %8s | %9s | %6s | %9s | %6s\n' tokens "read ms" "first ms" ratio "later ms" ratio
smallest=""
for tokens in $sizes; do
  results=$(mktemp)
  for ((i = 0; i < runs; i++)); do
    wine "$root/build/windows/bin/wine_save_bench.exe" generate "$tokens" | tr -d '\r' >>"$results"
  done
  read_s=$(cut -d' ' -f1 "$results" | median)
  first=$(cut -d' ' -f2 "$results" | median)
  later=$(cut -d' ' -f3 "$results" | median)
  rm -f "$results"
  [ -n "$smallest" ] || smallest=$later
  awk -v t="$tokens" -v r="$read_s" -v f="$first" -v l="$later" -v s="$smallest" 'BEGIN {
    printf "%8d | %8.1f | %9.1f | %6.2f | %9.1f | %6.2f\n", t, r * 1000, f * 1000, f / r, l * 1000, l / s }'
done
echo "medians of $runs runs; first: the form's first click / a plain read of the four files;"
echo "later: the median of five later clicks / the same with the first size's files."
