#!/bin/bash
# The real OtpTool.exe under Wine: the serial "Generate" of the New Token form
# with the four seed files of 1,000, 1,000,000 and 3,000,000 tokens each
# (SIZES): the form's first click, which reads them all, beside `cat` of the
# four files to /dev/null and a read of them into a reused buffer in the
# bench's own 32-bit process; and a later click, which reads none again,
# beside the same click with the first size's files. Every round takes the
# floor and the tool in turn, each after `sync`. Uses the Windows build and
# a private Xvfb display and Wine prefix.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
. "$root/bench/bench_lib.sh"
sizes=${SIZES:-"1000 1000000 3000000"}
runs=${RUNS:-5}

start_wine_bench

printf '%8s | %7s | %7s | %8s | %7s | %7s | %8s | %6s | %8s | %6s\n' tokens "cat ms" "read ms" "first ms" "/cat" \
  "/read" "later ms" ratio "+peak MiB" "+MiB"
smallest=""
for tokens in $sizes; do
  folder=$(seed_files_folder "$tokens")
  results=$(mktemp)
  for ((i = 0; i < runs; i++)); do
    cat_s=$(cat_seconds "$folder")
    sync
    line=$(wine "$root/build/windows/bin/wine_save_bench.exe" generate "$(winepath -w "$folder")" | tr -d '\r')
    echo "$cat_s $line" >>"$results"
  done
  column() { cut -d' ' -f"$1" "$results" | median; }
  cat_s=$(column 1)
  read_s=$(column 2)
  first=$(column 3)
  later=$(column 4)
  peak=$(cut -d' ' -f5 "$results" | sort -n | tail -1)
  added=$(cut -d' ' -f6 "$results" | sort -n | tail -1)
  rm -f "$results"
  [ -n "$smallest" ] || smallest=$later
  awk -v t="$tokens" -v c="$cat_s" -v r="$read_s" -v f="$first" -v l="$later" -v s="$smallest" -v p="$peak" \
    -v a="$added" 'BEGIN {
    printf "%8d | %7.1f | %7.1f | %8.1f | %7.2f | %7.2f | %8.1f | %6.2f | %8.1f | %6.1f\n", t, c * 1000, r * 1000,
      f * 1000, f / c, f / r, l * 1000, l / s, p / 1024, a / 1024 }'
done
echo "medians of $runs rounds; cat: the four files to /dev/null; read: into one reused 1 MiB buffer in"
echo "the bench's 32-bit process; first: the form's first click; later: the median of five later clicks,"
echo "ratio over the first size's; +peak MiB, +MiB: the rise of the tool's peak working set and working set"
echo "over the first click (largest of the rounds)."
