#!/bin/bash
# Checks the release that scripts/release.sh wrote: the checksums, what each
# zip holds, the exe's header, imports and resources, and no build paths in
# what ships; then unpacks both zips into one fresh folder and uses the tool
# there under Wine (with the virtual key, and without any CV_Manager.dll).
#
# Usage: test-release.sh [DIST_FOLDER [RELEASE_BUILD_FOLDER]]
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dist=$(cd "${1:-$root/dist}" && pwd)
build=${2:-$root/build/release}
. "$root/scripts/lib/session.sh"

objdump=i686-w64-mingw32-objdump
failures=0
passes=0
pass() { echo "ok: $1"; passes=$((passes + 1)); }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

win_zip=$(ls "$dist"/OtpTool-*-win32.zip 2>/dev/null | head -n1)
key_zip=$(ls "$dist"/OtpTool-*-virtualkey.zip 2>/dev/null | head -n1)
if [ -z "$win_zip" ] || [ -z "$key_zip" ]; then
  echo "test-release: no release zips in $dist" >&2
  exit 1
fi
version=$(basename "$win_zip" | sed 's/^OtpTool-\(.*\)-win32\.zip$/\1/')
echo "test-release: version $version in $dist"

# Paths go to the checks as arguments, never inside a shell string, so any
# checkout folder works.
sums_match() { (cd "$dist" && sha256sum --quiet -c SHA256SUMS); }
lacks_text() { ! grep -q -a -F "$1" "$2"; }       # text, file
lacks_placeholder() { ! grep -q -e '<version>' -e '&lt;version&gt;' "$1"; }
has_sections() { $objdump -h "$2" | grep -q "$1"; }  # section pattern, file
lacks_sections() { ! has_sections "$@"; }
verifies() { osslsigncode verify -CAfile "$1" -in "$2" >/dev/null; }  # CA file, program
check "SHA256SUMS matches its files" sums_match
check "SHA256SUMS lists every file in dist/" \
  test "$(cd "$dist" && ls | grep -vx SHA256SUMS | tr '\n' ' ')" = "$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort | tr '\n' ' ')"
check "the zips carry the version of the build" \
  grep -q "^#define OTP_VERSION_TEXT \"$version.0\"" "$build/resources/version.h"
# Guide.html drops the cells of a row beyond its header's, silently.
check "every table row of the guides has its table's number of cells" \
  /usr/bin/python3 "$root/scripts/lib/guide_html.py" --check "$root/docs/guide.md" "$root/docs/virtualkey.md"

# Every name under the zip's own folder, which is dropped for the comparisons.
top="OtpTool-$version/"
listing() { unzip -Z1 "$1" | sed "s|^$top||" | tr '\n' ' '; }
outside() { unzip -Z1 "$1" | grep -v "^$top" | tr '\n' ' '; }
for zip in "$win_zip" "$key_zip"; do
  check "$(basename "$zip") unpacks into the folder $top" test -z "$(outside "$zip")"
done
# Guide.md's pictures are beside it, each one it links and no other.
pictures=$(unzip -p "$win_zip" "${top}Guide.md" | grep -o '(images/[^)]*\.png)' | tr -d '()' | LC_ALL=C sort -u | tr '\n' ' ')
check "the win32 zip holds the exe, the guide and its pictures, the release notes and the licences, nothing else" \
  test "$(listing "$win_zip")" = "Guide.html Guide.md OtpTool.exe ReleaseNotes.md ${pictures}licenses/gcc-runtime.txt licenses/mingw-w64-runtime.txt licenses/pugixml.txt "
check "Guide.md links pictures" test -n "$pictures"
check "the virtual-key zip holds the DLL, its program, its guide and the licences" \
  test "$(listing "$key_zip")" = "CV_Manager.dll VirtualKey.html VirtualKey.md licenses/virtualkey/gcc-runtime.txt licenses/virtualkey/mingw-w64-runtime.txt licenses/virtualkey/pugixml.txt virtualkey.exe "
files_of() { unzip -Z1 "$1" | grep -v '/$' | sort; }
check "the two zips unpacked into one folder overwrite nothing" \
  test -z "$(comm -12 <(files_of "$win_zip") <(files_of "$key_zip"))"

extracted=$(mktemp -d)
trap 'stop_session; rm -rf "$extracted"' EXIT
unzip -q "$win_zip" -d "$extracted" && unzip -q -o "$key_zip" -d "$extracted" || fail "unpacking"
unpacked="$extracted/$top"
exe="$unpacked/OtpTool.exe"
notes_are_this_version() { head -n1 "$1" | tr -d '\r' | grep -qxF "## $version" && ! tail -n +2 "$1" | grep -q '^## '; }
check "the release notes are this version's section of the changelog" notes_are_this_version "$unpacked/ReleaseNotes.md"
# The version is said once, in CMakeLists.txt; the guides ship naming it.
for guide in Guide.md Guide.html VirtualKey.md VirtualKey.html; do
  check "$guide names the version, no placeholder" lacks_placeholder "$unpacked/$guide"
done
check "Guide.md's icacls example names the folder OtpTool-$version" \
  grep -qF "icacls C:\\OtpTool-$version " "$unpacked/Guide.md"
# Every line ends in CR LF, as Notepad on Windows 7 and 8 needs.
crlf_only() { ! LC_ALL=C grep -q $'[^\r]$\|^$' "$1"; }
for text in Guide.md ReleaseNotes.md VirtualKey.md licenses/*.txt licenses/virtualkey/*.txt; do
  for file in "$unpacked"/$text; do
    check "${file#"$unpacked"} ends its lines with CR LF" crlf_only "$file"
  done
done

headers=$($objdump -p "$exe")
check "OtpTool.exe is PE32 for x86" grep -q "Magic.*010b.*(PE32)" <<<"$headers"
check "OtpTool.exe is built for i386" grep -q 'architecture: i386' <<<"$($objdump -f "$exe")"
check "OtpTool.exe is a GUI program" grep -q "Subsystem.*00000002.*(Windows GUI)" <<<"$headers"

# Only libraries that every Windows has; nothing from MinGW beside the exe.
system_dlls='^(KERNEL32|USER32|GDI32|COMCTL32|ole32|msvcrt|ADVAPI32|SHELL32|SHLWAPI|bcrypt)\.dll$'
for program in OtpTool.exe CV_Manager.dll virtualkey.exe; do
  imports=$($objdump -p "$unpacked/$program" | sed -n 's/^\tDLL Name: //p')
  others=$(grep -viE "$system_dlls" <<<"$imports" | tr '\n' ' ')
  check "$program imports only system DLLs (${others:-all system})" test -z "$others"
  check "$program has no debug sections" lacks_sections '\.debug_' "$unpacked/$program"
  check "$program holds no build path" lacks_text "$root" "$unpacked/$program"
done
debug_file="$dist/OtpTool-$version-win32.debug"
names_debug_file() { has_sections '\.gnu_debuglink' "$exe" && grep -q -a -F "OtpTool-$version-win32.debug" "$exe"; }
check "the exe names its debug file" names_debug_file
check "the debug file holds the debug information" has_sections '\.debug_info' "$debug_file"
check "the debug file holds no build path" lacks_text "$root" "$debug_file"

# The link time is not in the header: it is 0 or the commit's time.
pe_offset=$(od -An -tu4 -j 60 -N4 "$exe" | tr -d ' ')
stamp=$(od -An -tu4 -j $((pe_offset + 8)) -N4 "$exe" | tr -d ' ')
commit_time=$(git -C "$root" log -1 --format=%ct)
stamp_is_no_build_time() { [ "$stamp" = 0 ] || [ "$stamp" = "$commit_time" ]; }
check "the PE header carries no build time (stamp $stamp)" stamp_is_no_build_time

resources=$(i686-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null)
check "the manifest asks for common controls 6" grep -q 'name=""Microsoft.Windows.Common-Controls""' <<<"$resources"
check "the manifest runs the tool as invoker" grep -q 'level=""asInvoker""' <<<"$resources"
check "the manifest declares per-monitor (v2) DPI awareness, system-aware as fallback" \
  grep -q 'dpiAwareness[^>]*>PerMonitorV2, System<' <<<"$resources"
for os_id in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
             1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  check "the manifest names the supported Windows $os_id" grep -q "supportedOS Id=\"\"{$os_id}\"\"" <<<"$resources"
done
commas=$(tr . , <<<"$version.0" | sed 's/,/, /g')
check "the version resource says $version.0" grep -q "FILEVERSION $commas" <<<"$resources"
for field in FileVersion ProductVersion; do
  check "the version resource's $field says $version.0" \
    grep -q "VALUE \"$field\", \"$version.0\"" <<<"$resources"
done
for program in CV_Manager.dll virtualkey.exe; do
  program_resources=$(i686-w64-mingw32-windres -i "$unpacked/$program" -O rc 2>/dev/null)
  check "$program's version resource says $version.0" grep -q "FILEVERSION $commas" <<<"$program_resources"
  check "$program's version resource names it" \
    grep -q "VALUE \"OriginalFilename\", \"$program\"" <<<"$program_resources"
done

# Signatures. What ships, without its signature if it has one, is exactly the
# unsigned build; and the unsigned build, signed with a throwaway certificate
# made here, verifies against it and gives itself back when the signature goes.
signing=$(mktemp -d)
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signing/key.pem" -out "$signing/cert.pem" -days 2 \
  -subj "/CN=OTP Programming Tool release check" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 &&
  openssl pkcs12 -export -out "$signing/signer.pfx" -inkey "$signing/key.pem" -in "$signing/cert.pem" \
    -passout pass:check >/dev/null 2>&1 || fail "making a throwaway certificate"
for program in OtpTool.exe CV_Manager.dll virtualkey.exe; do
  unsigned="$build/unsigned/$program"
  shipped="$unpacked/$program"
  if osslsigncode extract-signature -in "$shipped" -out "$signing/$program.sig" >/dev/null 2>&1; then
    if [ -n "${OTP_SIGN_CHECK_CA:-}" ]; then
      check "the shipped $program's signature verifies" \
        verifies "$OTP_SIGN_CHECK_CA" "$shipped"
    fi
    osslsigncode remove-signature -in "$shipped" -out "$signing/$program.bare" >/dev/null 2>&1
    check "the shipped $program without its signature is the unsigned build" cmp -s "$signing/$program.bare" "$unsigned"
  else
    check "the shipped $program (unsigned) is the unsigned build" cmp -s "$shipped" "$unsigned"
  fi
  osslsigncode sign -pkcs12 "$signing/signer.pfx" -pass check -h sha256 -in "$unsigned" \
    -out "$signing/$program" >/dev/null 2>&1 || fail "signing $program with the throwaway certificate"
  check "$program signed with a throwaway certificate verifies against it" \
    verifies "$signing/cert.pem" "$signing/$program"
  osslsigncode remove-signature -in "$signing/$program" -out "$signing/$program.removed" >/dev/null 2>&1
  check "$program with that signature removed is byte for byte the unsigned build" \
    cmp -s "$signing/$program.removed" "$unsigned"
done
rm -rf "$signing"

exports=$($objdump -p "$unpacked/CV_Manager.dll")
for function in CV_ListDevice CV_GetDeviceInfo CV_OTP_List CV_OTP_Calculate CV_OTP_Personalize \
                CV_OTP_Reset CV_OTP_SetValueWithEnter; do
  check "CV_Manager.dll exports $function" grep -qE "[[:space:]]$function\$" <<<"$exports"
done

# The tool itself, from the unpacked folder, driven as an operator would.
cmake --build "$build" --target release_tests >/dev/null || { fail "building the release tests"; exit 1; }
start_private_xvfb || exit 1
start_wine "$root/build/wineprefix-release"
unmanaged_windows
OTP_TOOL_FOLDER=$(winepath -w "$unpacked" 2>/dev/null)
export OTP_TOOL_FOLDER
# Without the folder the tests would skip themselves.
if [ -z "$OTP_TOOL_FOLDER" ]; then
  fail "winepath gave no Windows path for $unpacked"
elif "$root/scripts/wine-run.sh" "$build/bin/release_tests.exe" --gtest_brief=1; then
  pass "the unpacked tool lists the virtual key, creates a token and names a missing CV_Manager.dll"
else
  fail "the unpacked tool under Wine"
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
