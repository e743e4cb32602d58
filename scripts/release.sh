#!/bin/bash
# Builds the release from the committed tree and writes dist/:
#   OtpTool-<version>-win32.zip       OtpTool.exe (stripped), the operator's
#                                     guide with its pictures, the release
#                                     notes, the licences of what is inside
# Both zips unpack into the folder OtpTool-<version>/.
#   OtpTool-<version>-win32.debug     the exe's debug information, kept apart
#   OtpTool-<version>-virtualkey.zip  the virtual key: CV_Manager.dll,
#                                     virtualkey.exe and their short guide
#   SHA256SUMS                        for every file in dist/
# The exe, the DLL and virtualkey.exe are signed (Authenticode, osslsigncode)
# when OTP_SIGN_PFX names a PKCS#12 file and OTP_SIGN_PASSWORD is its
# password, with an RFC 3161 timestamp when OTP_SIGN_TIMESTAMP_URL is set;
# otherwise the release is unsigned and says so. Removing the signatures gives
# back exactly the unsigned build, kept in build/release/unsigned.
# Then it tests both zips under Wine and makes fresh screenshots for the guide.
#
#   --allow-dirty   build although the tree has uncommitted changes
#   --no-checks     only build and package (no release tests, no screenshots)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

allow_dirty=0
checks=1
for option in "$@"; do
  case "$option" in
    --allow-dirty) allow_dirty=1 ;;
    --no-checks) checks=0 ;;
    *) echo "release: unknown option $option" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh" || { echo "release: installing dependencies failed" >&2; exit 1; }

# What ships is what is committed.
if [ -n "$(git status --porcelain)" ]; then
  if [ "$allow_dirty" -eq 0 ]; then
    echo "release: the tree has uncommitted changes; commit them, or pass --allow-dirty" >&2
    git status --short >&2
    exit 1
  fi
  echo "release: WARNING: building with uncommitted changes; the result is not reproducible"
fi

# Every date in the archives is the commit's time.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

build="$root/build/release"
dist="$root/dist"
rm -rf "$build"
cmake --preset release >/dev/null
cmake --build --preset release --target OtpTool CV_Manager virtualkey

version=$(sed -n 's/^#define OTP_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' \
  "$build/resources/version.h" | paste -sd.)
[ -n "$version" ] || { echo "release: no version in $build/resources/version.h" >&2; exit 1; }
name="OtpTool-$version"
echo "release: version $version from commit $(git rev-parse --short HEAD)"

objcopy=i686-w64-mingw32-objcopy
strip=i686-w64-mingw32-strip
bin="$build/bin"
stage="$build/stage"
rm -rf "$stage" "$dist"
mkdir -p "$stage/win32/licenses" "$stage/virtualkey" "$dist"

# The exe without its debug information; the debug file stays here for
# crash analysis, and the exe names it (.gnu_debuglink) for the debugger.
debug="$dist/$name-win32.debug"
$objcopy --only-keep-debug "$bin/OtpTool.exe" "$debug"
$strip --strip-all -o "$stage/win32/OtpTool.exe" "$bin/OtpTool.exe"
(cd "$dist" && $objcopy --add-gnu-debuglink="$(basename "$debug")" "$stage/win32/OtpTool.exe")
chmod 644 "$debug"

python=/usr/bin/python3
# The guides say "OtpTool-<version>" in the tree, so that the version is said
# once; what ships names this one. Guide.md's pictures lie beside it, as it
# links them; Guide.html carries them inside.
name_version() { sed "s/OtpTool-<version>/$name/g" "$1" > "$2"; }
name_version docs/guide.md "$stage/win32/Guide.md"
mkdir -p "$stage/win32/images"
cp docs/images/*.png "$stage/win32/images/"
"$python" "$root/scripts/lib/guide_html.py" "$stage/win32/Guide.md" "$stage/win32/Guide.html" \
  "Corvane/Meridia OTP Programming Tool $version - Operator's guide"
# This version's section of the changelog, its heading first.
awk -v heading="## $version" '$0 == heading { keep = 1 } /^## / && $0 != heading { keep = 0 } keep' \
  CHANGELOG.md > "$stage/win32/ReleaseNotes.md"
[ -s "$stage/win32/ReleaseNotes.md" ] || { echo "release: CHANGELOG.md has no section for $version" >&2; exit 1; }
# Everything linked into the exe: pugixml, and MinGW-w64's runtime (C runtime
# start-up, winpthreads) and GCC's runtime libraries, linked statically.
cp "$root/build/deps/pugixml/LICENSE.md" "$stage/win32/licenses/pugixml.txt"
cp /usr/share/doc/mingw-w64-i686-dev/copyright "$stage/win32/licenses/mingw-w64-runtime.txt"
cp /usr/share/doc/gcc-mingw-w64-i686-posix-runtime/copyright "$stage/win32/licenses/gcc-runtime.txt"

$strip --strip-all -o "$stage/virtualkey/CV_Manager.dll" "$bin/CV_Manager.dll"
$strip --strip-all -o "$stage/virtualkey/virtualkey.exe" "$bin/virtualkey.exe"
name_version docs/virtualkey.md "$stage/virtualkey/VirtualKey.md"
"$python" "$root/scripts/lib/guide_html.py" "$stage/virtualkey/VirtualKey.md" "$stage/virtualkey/VirtualKey.html" \
  "Virtual key for the OTP Programming Tool $version"
# In a folder of their own: both zips unpack into one folder, where a second
# licenses/pugixml.txt would ask the operator whether to overwrite the first.
mkdir -p "$stage/virtualkey/licenses"
cp -r "$stage/win32/licenses" "$stage/virtualkey/licenses/virtualkey"
# Text files end their lines with CR LF: Notepad before Windows 10 shows a
# file with bare LF line ends as one long line.
for text in "$stage/win32/Guide.md" "$stage/win32/ReleaseNotes.md" "$stage/virtualkey/VirtualKey.md" \
            "$stage/win32/licenses/"*.txt "$stage/virtualkey/licenses/virtualkey/"*.txt; do
  sed -i 's/\r*$/\r/' "$text"
done

# The form a signature leaves the files in, so that removing it gives them back.
programs=("$stage/win32/OtpTool.exe" "$stage/virtualkey/CV_Manager.dll" "$stage/virtualkey/virtualkey.exe")
"$python" "$root/scripts/lib/pe_sign_ready.py" "${programs[@]}"
mkdir -p "$build/unsigned"
cp "${programs[@]}" "$build/unsigned/"
if [ -n "${OTP_SIGN_PFX:-}" ]; then
  [ -n "${OTP_SIGN_PASSWORD:-}" ] || { echo "release: OTP_SIGN_PFX is set but OTP_SIGN_PASSWORD is not" >&2; exit 1; }
  # The password goes through a private file, never on a command line.
  password_file=$(mktemp)
  trap 'rm -f "$password_file"' EXIT
  printf '%s' "$OTP_SIGN_PASSWORD" > "$password_file"
  timestamp=()
  [ -z "${OTP_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$OTP_SIGN_TIMESTAMP_URL")
  for program in "${programs[@]}"; do
    osslsigncode sign -pkcs12 "$OTP_SIGN_PFX" -readpass "$password_file" -h sha256 \
      -n "Corvane/Meridia OTP Programming Tool" "${timestamp[@]}" -in "$program" -out "$program.signed" >/dev/null ||
      { echo "release: signing $(basename "$program") failed" >&2; exit 1; }
    mv "$program.signed" "$program"
  done
  rm -f "$password_file"
  echo "release: signed ${programs[*]##*/}${timestamp:+ with a timestamp}"
else
  echo "release: NOT SIGNED (set OTP_SIGN_PFX and OTP_SIGN_PASSWORD to sign)"
fi

"$python" "$root/scripts/lib/reproducible_zip.py" "$dist/$name-win32.zip" "$stage/win32" "$SOURCE_DATE_EPOCH" "$name"
"$python" "$root/scripts/lib/reproducible_zip.py" "$dist/$name-virtualkey.zip" "$stage/virtualkey" "$SOURCE_DATE_EPOCH" "$name"
(cd "$dist" && sha256sum "$name-win32.debug" "$name-win32.zip" "$name-virtualkey.zip" > SHA256SUMS)
echo "release: wrote $dist:"
(cd "$dist" && ls -l && cat SHA256SUMS)

if [ "$checks" -eq 1 ]; then
  "$root/scripts/test-release.sh" "$dist" "$build"
  "$root/docs/make-screenshots.sh" "$build/screenshots"
  echo "release: fresh screenshots in $build/screenshots (the guide shows docs/images)"
fi
