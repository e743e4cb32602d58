# Helpers the bench scripts share.

# The median of the numbers on standard input, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Builds the bench that drives the real tool (and the targets named as
# arguments) and starts a private Xvfb display and Wine prefix for it,
# stopped when the script exits. Needs $root and scripts/lib/session.sh.
start_wine_bench() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target wine_save_bench "$@" >/dev/null
  trap stop_session EXIT
  start_private_xvfb
  start_wine "$root/build/wineprefix-bench"
  unmanaged_windows
}

# The four seed files of $1 tokens each, written once by the Windows build
# into build/bench-files/<tokens> and kept for later runs; prints the folder.
seed_files_folder() {
  local folder="$root/build/bench-files/$1"
  if [ ! -f "$folder/tseeds.csv" ]; then
    wine "$root/build/windows/bin/wine_save_bench.exe" prepare "$1" "$(winepath -w "$folder")" >/dev/null
    sync
  fi
  echo "$folder"
}

# Seconds `cat` takes to read the four seed files of folder $1 to
# /dev/null: the floor as any reader outside the tool meets it.
cat_seconds() {
  sync
  local start end
  start=$(date +%s%N)
  cat "$1"/hseeds.xml "$1"/tseeds.xml "$1"/hseeds.csv "$1"/tseeds.csv >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))e-6
}
