#!/bin/bash
# The serial scan of the four seed files (seed_scan_bench) under Wine, beside
# `cat` of the same files and a read into a reused buffer in the same
# process; each round takes all three, after `sync`. SIZES (tokens per file)
# and RUNS narrow it down.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
. "$root/bench/bench_lib.sh"
sizes=${SIZES:-"1000000 3000000"}
runs=${RUNS:-5}

cmake --preset windows >/dev/null
cmake --build --preset windows --target wine_save_bench seed_scan_bench >/dev/null
trap stop_session EXIT
start_wine "$root/build/wineprefix-bench"

printf '%8s | %7s | %7s | %7s | %7s | %7s | %7s | %7s | %8s\n' tokens "cat ms" "read ms" "scan ms" "xml ms" "csv ms" \
  "sort ms" "scan/rd" "scan/cat"
for tokens in $sizes; do
  folder=$(seed_files_folder "$tokens")
  results=$(mktemp)
  for ((i = 0; i < runs; i++)); do
    cat_s=$(cat_seconds "$folder")
    sync
    line=$(wine "$root/build/windows/bin/seed_scan_bench.exe" "$(winepath -w "$folder")" 1 | tr -d '\r')
    echo "$cat_s $line" >>"$results"
  done
  column() { cut -d' ' -f"$1" "$results" | median; }
  awk -v t="$tokens" -v c="$(column 1)" -v r="$(column 2)" -v s="$(column 3)" -v x="$(column 4)" -v v="$(column 5)" \
    -v o="$(column 6)" 'BEGIN {
    printf "%8d | %7.1f | %7.1f | %7.1f | %7.1f | %7.1f | %7.1f | %7.2f | %8.2f\n", t, c * 1000, r * 1000, s * 1000, x * 1000,
      v * 1000, o * 1000, s / r, s / c }'
  rm -f "$results"
done
echo "medians of $runs rounds; read: the four files into one reused 1 MiB buffer in the scan's process;"
echo "scan: the serials of all four (both XML and both CSV), the keys sorted (sort: of which the sorts)."
