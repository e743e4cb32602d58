#!/bin/bash
# The real OtpTool.exe under Wine: what the tool keeps of the seed files
# between forms, saves and starts (wine_cache_bench.cpp says what each row
# times). Tokens per file in SIZES (1,000,000 and 3,000,000), RUNS rounds (5);
# in every round each pair is run one after the other, in turns, so that both
# sides of a ratio see the same machine. Uses the Windows build and a private
# Xvfb display and Wine prefix.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/lib/session.sh"
. "$root/bench/bench_lib.sh"
sizes=${SIZES:-"1000000 3000000"}
runs=${RUNS:-5}
bench="$root/build/windows/bin/wine_cache_bench.exe"

start_wine_bench wine_cache_bench

run() { sync; wine "$bench" "$@" | tr -d '\r'; }
column() { cut -d' ' -f"$1" "$2" | median; }

results=$(mktemp -d)
for tokens in 1000 $sizes; do
  for ((i = 0; i < runs; i++)); do
    run forms "$tokens" >>"$results/forms-$tokens"
    [ "$tokens" = 1000 ] && continue
    for with in $((i % 2)) $((1 - i % 2)); do
      run leftover "$tokens" "$with" >>"$results/leftover-$tokens-$with"
      run typed "$tokens" "$with" >>"$results/typed-$tokens-$with"
    done
  done
done

small=$(column 2 "$results/forms-1000")
echo "The first \"Generate\" of a later form, files unchanged, against the same with 1,000-token files:"
printf '%8s | %9s | %9s | %6s\n' tokens "first ms" "later ms" ratio
for tokens in 1000 $sizes; do
  awk -v t="$tokens" -v f="$(column 1 "$results/forms-$tokens")" -v l="$(column 2 "$results/forms-$tokens")" \
    -v s="$small" 'BEGIN { printf "%8d | %9.1f | %9.1f | %6.2f\n", t, f * 1000, l * 1000, l / s }'
done
echo
echo "With a kept leftover against without one:"
printf '%8s | %-12s | %9s | %9s | %6s\n' tokens step "with ms" "without" ratio
for tokens in $sizes; do
  for step in 1:start-up 2:form 3:save; do
    n=${step%%:*}
    awk -v t="$tokens" -v s="${step#*:}" -v w="$(column "$n" "$results/leftover-$tokens-1")" \
      -v o="$(column "$n" "$results/leftover-$tokens-0")" \
      'BEGIN { printf "%8d | %-12s | %9.1f | %9.1f | %6.2f\n", t, s, w * 1000, o * 1000, w / o }'
  done
done
echo "The line on the kept leftover, from the start (the window shows before it):"
for tokens in $sizes; do
  awk -v t="$tokens" -v k="$(column 4 "$results/leftover-$tokens-1")" 'BEGIN { printf "%8d | %9.1f ms\n", t, k * 1000 }'
done
echo
echo "Save with the key's own serial, typed, against one from \"Generate\":"
printf '%8s | %9s | %9s | %6s | %10s | %10s | %8s | %8s\n' tokens "typed ms" "gen ms" ratio "typed peak" "gen peak" \
  "+MiB typ" "+MiB gen"
for tokens in $sizes; do
  t="$results/typed-$tokens-0" g="$results/typed-$tokens-1"
  awk -v n="$tokens" -v ts="$(column 1 "$t")" -v gs="$(column 1 "$g")" -v tp="$(column 2 "$t")" \
    -v gp="$(column 2 "$g")" -v tr="$(column 3 "$t")" -v gr="$(column 3 "$g")" 'BEGIN {
      printf "%8d | %9.1f | %9.1f | %6.2f | %10.1f | %10.1f | %8.1f | %8.1f\n",
        n, ts * 1000, gs * 1000, ts / gs, tp / 1024, gp / 1024, tr / 1024, gr / 1024 }'
done
echo "medians of $runs rounds; peak: the tool's peak working set after the save, MiB; +MiB: its rise during the save."
rm -rf "$results"
