#!/bin/bash
# Times appending one token to hseeds.xml holding 1,000 / 10,000 / 100,000
# tokens, beside copying the same file, each in a fresh process. Builds its own
# native Release binary without sanitizers.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench-release"
runs=${RUNS:-5}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOTP_SANITIZE=OFF >/dev/null
cmake --build "$build" --target seed_export_bench -j2 >/dev/null
bench="$build/bench/seed_export_bench"

work=$(mktemp -d "$build/seed-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%8s %9s | %10s %9s | %9s %9s %6s | %12s %6s\n' \
  tokens "file MiB" "append ms" "peak MiB" "copy ms" "peak MiB" ratio "copy+fsync" ratio
for tokens in 1000 10000 100000; do
  "$bench" prepare "$work" "$tokens"
  size=$(stat -c %s "$work/hseeds.xml")
  : >"$work/append" ; : >"$work/copy" ; : >"$work/synced"
  for ((i = 0; i < runs; i++)); do
    "$bench" copy "$work/hseeds.xml" "$work/copy.xml" >>"$work/copy"
    "$bench" copy "$work/hseeds.xml" "$work/copy.xml" fsync >>"$work/synced"
    "$bench" append "$work" >>"$work/append"
  done
  append_s=$(cut -d' ' -f1 "$work/append" | median)
  append_kib=$(cut -d' ' -f2 "$work/append" | sort -n | tail -1)
  copy_s=$(cut -d' ' -f1 "$work/copy" | median)
  copy_kib=$(cut -d' ' -f2 "$work/copy" | sort -n | tail -1)
  synced_s=$(cut -d' ' -f1 "$work/synced" | median)
  awk -v t="$tokens" -v size="$size" -v a="$append_s" -v ak="$append_kib" -v c="$copy_s" \
      -v ck="$copy_kib" -v s="$synced_s" 'BEGIN {
    printf "%8d %9.2f | %10.2f %9.1f | %9.2f %9.1f %6.1f | %12.2f %6.1f\n",
      t, size / 1048576, a * 1000, ak / 1024, c * 1000, ck / 1024, a / c, s * 1000, a / s
  }'
done
echo "medians of $runs runs; peak = largest ru_maxrss of the runs (includes the process baseline);"
echo "the append writes a temporary file, flushes it to disk and renames it over hseeds.xml."
