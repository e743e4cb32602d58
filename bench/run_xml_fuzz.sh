#!/bin/bash
# Fuzzes the XML seed step with libFuzzer, AddressSanitizer and UBSan, each
# target for a bounded time (FUZZ_SECONDS, default 120): xml_append_fuzz puts
# any bytes through the rewrite; xml_stream_fuzz checks the stream against the
# rewrite, and that files the tool writes from any texts stream.
# Starts from tests/provisioning/xml_corpus/; a crashing input is left in the
# build folder: keep it in that corpus so the ordinary tests check it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
seconds=${FUZZ_SECONDS:-120}

"$root/scripts/install-deps.sh" --fuzz || { echo "run_xml_fuzz: installing clang failed" >&2; exit 2; }
pugixml=()
[ -f "$root/build/deps/pugixml/src/pugixml.cpp" ] && pugixml=(-DPUGIXML_SOURCE_DIR="$root/build/deps/pugixml")

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOTP_SANITIZE=ON -DOTP_FUZZ=ON "${pugixml[@]}" >/dev/null
cmake --build "$build" --target xml_append_fuzz xml_stream_fuzz -j2 >/dev/null

corpus="$build/xml-corpus"
mkdir -p "$corpus" "$build/finds"
cp -n "$root"/tests/provisioning/xml_corpus/* "$corpus"/
cd "$build/finds"
for target in xml_append_fuzz xml_stream_fuzz; do
  "$build/tests/provisioning/fuzz/$target" -max_total_time="$seconds" -max_len=4096 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
  echo "run_xml_fuzz: $target found no fault in $seconds s"
done
echo "run_xml_fuzz: $(ls "$corpus" | wc -l) inputs in $corpus"
