#!/bin/bash
# Times appending one token to hseeds.xml holding 1,000 to 3,000,000 tokens,
# beside copying the same file and making the copy durable, each step in a
# fresh process; then appends to a generated seed file of about 1.5 GB and
# checks that the token reached both files. Builds its own native Release
# binary without sanitizers.
#   RUNS       measurements per size (median), default 5 (3 from 1M tokens)
#   SIZES      token counts, default "1000 10000 100000 1000000 3000000"
#   LARGE_GB   size of the last case in GB, default 1.5; 0 skips it
#
# Columns: append = ExportToSeedFiles (XML and CSV, as the tool saves);
# stream = the streaming XML append alone (read, write a temporary file,
# flush, rename); copy+fsync = copying the file and flushing the copy.
# "+MiB" is the peak resident memory the step added to its process.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench-release"
sizes=${SIZES:-"1000 10000 100000 1000000 3000000"}
large_gb=${LARGE_GB:-1.5}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOTP_SANITIZE=OFF >/dev/null
cmake --build "$build" --target seed_export_bench -j2 >/dev/null
bench="$build/bench/seed_export_bench"

work=$(mktemp -d "$build/seed-export-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

. "$root/bench/bench_lib.sh"
largest() { sort -n | tail -1; }

printf '%8s %8s | %9s %6s %6s %7s | %9s %6s %6s | %10s %6s | %6s %6s\n' \
  tokens "file MB" "append ms" "cpu" "+MiB" "ms/MB" "stream ms" "cpu" "+MiB" "copy+fsync" "cpu" ratio "strm r"
for tokens in $sizes; do
  runs=${RUNS:-$([ "$tokens" -ge 1000000 ] && echo 3 || echo 5)}
  "$bench" prepare "$work" "$tokens"
  cp "$work/hseeds.xml" "$work/original.xml"
  size=$(stat -c %s "$work/hseeds.xml")
  : >"$work/append"; : >"$work/stream"; : >"$work/synced"
  # Each step starts the same way, just after the file was written afresh
  # and with nothing waiting to be written back, so no step pays for the one
  # before (on a virtual machine the pages a step gets also depend on what
  # ran just before it).
  for ((i = 0; i < runs; i++)); do
    cp "$work/original.xml" "$work/hseeds.xml"; sync
    "$bench" copy "$work/hseeds.xml" "$work/copy.xml" fsync >>"$work/synced"
    cp "$work/original.xml" "$work/hseeds.xml"; sync
    "$bench" append "$work" >>"$work/append"
    cp "$work/original.xml" "$work/hseeds.xml"; sync
    "$bench" stream "$work" >>"$work/stream"
  done
  rm -f "$work/copy.xml"
  a=$(cut -d' ' -f1 "$work/append" | median); ak=$(cut -d' ' -f2 "$work/append" | largest)
  ac=$(cut -d' ' -f3 "$work/append" | median)
  s=$(cut -d' ' -f1 "$work/stream" | median); sk=$(cut -d' ' -f2 "$work/stream" | largest)
  sc=$(cut -d' ' -f3 "$work/stream" | median)
  c=$(cut -d' ' -f1 "$work/synced" | median); cc=$(cut -d' ' -f3 "$work/synced" | median)
  awk -v t="$tokens" -v size="$size" -v a="$a" -v ac="$ac" -v ak="$ak" -v s="$s" -v sc="$sc" \
      -v sk="$sk" -v c="$c" -v cc="$cc" 'BEGIN {
    mb = size / 1e6
    printf "%8d %8.1f | %9.1f %6.1f %6.1f %7.3f | %9.1f %6.1f %6.1f | %10.1f %6.1f | %6.2f %6.2f\n",
      t, mb, a * 1000, ac * 1000, ak / 1024, a * 1000 / mb, s * 1000, sc * 1000, sk / 1024,
      c * 1000, cc * 1000, a / c, s / c
  }'
done
echo "ms: medians of the runs (5, or 3 from 1M tokens; RUNS overrides); cpu: user+system ms;"
echo "+MiB: largest of the runs; ratio, strm r: append and stream time over copy+fsync time."

if [ "$large_gb" != 0 ]; then
  rm -f "$work"/*.xml
  tokens=$(awk -v gb="$large_gb" 'BEGIN { printf "%d", gb * 1e9 / 155 }')
  "$bench" prepare "$work" "$tokens"
  size=$(stat -c %s "$work/hseeds.xml")
  if result=$("$bench" append "$work") && "$bench" check "$work"; then
    awk -v t="$tokens" -v size="$size" -v r="$result" 'BEGIN { split(r, v, " ");
      printf "large file: %d tokens, %.2f GB: token saved in hseeds.xml and hseeds.csv in %.1f s, +%.1f MiB\n",
        t, size / 1e9, v[1], v[2] / 1024 }'
  else
    echo "large file: $tokens tokens, $size bytes: the token was NOT saved" >&2
    exit 1
  fi
fi
