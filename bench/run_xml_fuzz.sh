#!/bin/bash
# Fuzzes the XML seed step with libFuzzer, AddressSanitizer and UBSan for a
# bounded time (FUZZ_SECONDS, default 120): any bytes through the rewrite, the
# stream against the rewrite, and files the tool writes from any texts.
# Starts from tests/provisioning/xml_corpus/; a crashing input is left in the
# build folder: keep it in that corpus so the ordinary tests check it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds=${FUZZ_SECONDS:-120}

if ! command -v clang++ >/dev/null; then
  echo "run_xml_fuzz: clang++ is needed (Debian: clang, libclang-rt-14-dev)" >&2
  exit 2
fi
pugixml=()
[ -f "$root/build/deps/pugixml/src/pugixml.cpp" ] && pugixml=(-DPUGIXML_SOURCE_DIR="$root/build/deps/pugixml")

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOTP_SANITIZE=ON -DOTP_FUZZ=ON "${pugixml[@]}" >/dev/null
cmake --build "$build" --target xml_seed_fuzz -j2 >/dev/null

corpus="$build/xml-corpus"
mkdir -p "$corpus" "$build/finds"
cp -n "$root"/tests/provisioning/xml_corpus/* "$corpus"/
cd "$build/finds"
"$build/tests/provisioning/fuzz/xml_seed_fuzz" -max_total_time="$seconds" -max_len=4096 \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
echo "run_xml_fuzz: no fault in $seconds s ($(ls "$corpus" | wc -l) inputs in $corpus)"
