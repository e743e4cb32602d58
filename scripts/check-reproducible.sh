#!/bin/bash
# Builds the release of the committed HEAD twice, in two fresh clones in
# different folders, at different times and with a different umask, and
# checks that both give byte-identical zips, debug files and checksums.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain)" ]; then
  echo "check-reproducible: note: uncommitted changes are not part of the check"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
places=("$work/first/OtpTool" "$work/a/much/longer/second/folder/otp")

build_in() {  # folder, umask
  local place=$1
  git clone -q --no-hardlinks "$root" "$place" && git -C "$place" checkout -q "$commit" || return 1
  # Debian's pugixml source, as install-deps.sh unpacked it for this tree.
  mkdir -p "$place/build/deps" && cp -r "$root/build/deps/pugixml" "$place/build/deps/" || return 1
  (umask "$2" && "$place/scripts/release.sh" --no-checks) > "$place.log" 2>&1 || {
    echo "check-reproducible: the release build in $place failed:" >&2
    tail -n 30 "$place.log" >&2
    return 1
  }
}

build_in "${places[0]}" 022 || exit 1
sleep 2  # a later second, in case anything still read the clock
build_in "${places[1]}" 077 || exit 1

status=0
compared=0
for file in "${places[0]}"/dist/*; do
  name=$(basename "$file")
  other="${places[1]}/dist/$name"
  compared=$((compared + 1))
  if cmp -s "$file" "$other"; then
    echo "ok: $name is byte-identical ($(sha256sum < "$file" | cut -c1-16)...)"
  else
    echo "FAIL: $name differs between the two builds"
    status=1
    case "$name" in
      *.zip)
        mkdir -p "$work/x" "$work/y"
        unzip -q -o "$file" -d "$work/x/$name" && unzip -q -o "$other" -d "$work/y/$name"
        diff -rq "$work/x/$name" "$work/y/$name" | sed 's/^/  /'
        zipinfo -l "$file" > "$work/x.list"; zipinfo -l "$other" > "$work/y.list"
        diff "$work/x.list" "$work/y.list" | sed 's/^/  /' | head -n 20
        ;;
    esac
  fi
done
if [ "$compared" -lt 4 ] || [ "$(ls "${places[1]}/dist" | wc -l)" -ne "$compared" ]; then
  echo "FAIL: the builds wrote different sets of files"
  status=1
fi
[ "$status" -eq 0 ] && echo "check-reproducible: the release of $commit is reproducible"
exit "$status"
