# Helpers the bench scripts share.

# The median of the numbers on standard input, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Builds the bench that drives the real tool and starts a private Xvfb display
# and Wine prefix for it, stopped when the script exits. Needs $root and
# scripts/lib/session.sh.
start_wine_bench() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target wine_save_bench >/dev/null
  trap stop_session EXIT
  start_private_xvfb
  start_wine "$root/build/wineprefix-bench"
  unmanaged_windows
}
