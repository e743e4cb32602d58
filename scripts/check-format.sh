#!/bin/bash
# Checks that every C++ source in the tree is formatted as .clang-format says
# (Debian's clang-format). With --fix, formats them instead.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

mapfile -d '' sources < <(git ls-files -z -- '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i -- "${sources[@]}"
  exit
fi
unformatted=()
for source in "${sources[@]}"; do
  clang-format --dry-run --Werror -- "$source" >/dev/null 2>&1 || unformatted+=("$source")
done
if [ "${#unformatted[@]}" -gt 0 ]; then
  echo "check-format: ${#unformatted[@]} source(s) differ from .clang-format; scripts/check-format.sh --fix formats them:"
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "check-format: all ${#sources[@]} sources are formatted"
