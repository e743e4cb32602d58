#!/bin/bash
# Checks the OTPs that the real tool showed against oathtool, for the seeds
# read back from the seed files the tool exported.
set -uo pipefail
runner=$1     # the Wine runner script
tests_exe=$2  # e2e_tests.exe

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
winout=$(WINEDEBUG=-all winepath -w "$out" 2>/dev/null)

E2E_OBSERVATIONS="$winout" "$runner" "$tests_exe" --gtest_filter='OathtoolComparison.*' || {
  echo "FAIL: the GUI scenario failed"; exit 1; }

fail=0
check() {  # description expected actual
  if [ "$2" == "$3" ]; then echo "ok: $1 ($3)"; else echo "FAIL: $1: expected '$2', got '$3'"; fail=1; fi
}
field() { grep "^$1 " "$out/observations.txt" | cut -d' ' -f"$2"; }
csv_lines() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r'; }

# HOTP: the seed as the form showed it, as hseeds.xml and hseeds.csv hold it.
hotp_seed=$(field hotp_seed 2)
xml_seed=$(grep -o '<seed>[0-9A-F]*</seed>' "$out/hseeds.xml" | sed 's/<[^>]*>//g')
check "hseeds.xml seed" "$hotp_seed" "$xml_seed"
csv_seed=$(csv_lines "$out/hseeds.csv" | sed -n 2p | cut -d, -f2)
check "hseeds.csv seed" "$(echo "$hotp_seed" | tr 'A-F' 'a-f')" "$csv_seed"
for counter in 0 1 2; do
  shown=$(grep "^hotp_otp $counter " "$out/observations.txt" | cut -d' ' -f3)
  expected=$(oathtool --hotp -d 6 -c "$counter" "$csv_seed")
  check "HOTP at counter $counter" "$expected" "$shown"
done

# TOTP (SHA-256, 8 digits, 30 s): the Base32 seed from tseeds.csv.
totp_seed=$(field totp_seed 2)
xml_seed=$(grep -o '<seed>[0-9A-F]*</seed>' "$out/tseeds.xml" | sed 's/<[^>]*>//g')
check "tseeds.xml seed" "$totp_seed" "$xml_seed"
row=$(csv_lines "$out/tseeds.csv" | sed -n 2p)
check "tseeds.csv user name" "alice@example.com" "$(echo "$row" | cut -d, -f1)"
check "tseeds.csv interval" "30" "$(echo "$row" | cut -d, -f4)"
base32_seed=$(echo "$row" | cut -d, -f3)
check "tseeds.csv seed (Base32 of the hexadecimal seed)" \
  "$(oathtool --totp=sha256 -d 8 -s 30 --now @0 "$totp_seed")" \
  "$(oathtool --totp=sha256 -d 8 -s 30 --now @0 -b "$base32_seed")"
shown=$(field totp_otp 2)
from=$(field totp_otp 3)
to=$(field totp_otp 4)
accepted=""
for ((t = from; t <= to; t += 1)); do
  accepted="$accepted $(oathtool --totp=sha256 -d 8 -s 30 --now "@$t" "$totp_seed")"
done
if [[ " $accepted " == *" $shown "* ]]; then
  echo "ok: TOTP $shown matches oathtool between $from and $to"
else
  echo "FAIL: TOTP $shown is none of oathtool's [$accepted ] between $from and $to"; fail=1
fi
exit $fail
