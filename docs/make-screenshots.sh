#!/bin/bash
# Makes the guide's pictures from the real program: runs the tool with the
# virtual key on a private Xvfb display, lets screenshot_scenes.exe put it in
# each state the guide shows, and pictures each window with ImageMagick.
#
# Usage: docs/make-screenshots.sh [OUTPUT_FOLDER]   (default: docs/images)
# The release runs it; the programs come from build/release (built here when
# missing). Look at the pictures before committing them.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/docs/images}" && cd "${1:-$root/docs/images}" && pwd)
build="${OTP_SCREENSHOT_BUILD:-$root/build/release}"
scenes=(main-window new-token set-enter touch-prompt)
. "$root/scripts/lib/session.sh"

if [ ! -f "$build/build.ninja" ]; then
  (cd "$root" && cmake --preset release -B "$build" >/dev/null) || exit 1
fi
cmake --build "$build" --target screenshot_scenes OtpTool CV_Manager virtualkey >/dev/null || {
  echo "make-screenshots: building the programs failed" >&2; exit 1; }

handover=$(mktemp -d)
scenes_pid=""
cleanup() {
  if [ -n "$scenes_pid" ]; then kill "$scenes_pid" 2>/dev/null; wait "$scenes_pid" 2>/dev/null; fi
  stop_session
  rm -rf "$handover"
}
trap cleanup EXIT
start_private_xvfb || exit 1
start_wine "$root/build/wineprefix-release"
unmanaged_windows
# Title bars draw their buttons with Marlett; this Wine loads no font from its
# own folder, so the prefix gets Debian's copy (fonts-wine), or they show "0 1 r".
marlett=/usr/share/wine/fonts/marlett.ttf
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f "$marlett" ] && [ ! -f "$fonts/marlett.ttf" ]; then
  cp "$marlett" "$fonts/"
fi

"$root/scripts/wine-run.sh" "$build/bin/screenshot_scenes.exe" "$(winepath -w "$handover" 2>/dev/null)" &
scenes_pid=$!

status=0
for scene in "${scenes[@]}"; do
  for _ in $(seq 1 1200); do
    [ -f "$handover/$scene.ready" ] && break
    kill -0 "$scenes_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -f "$handover/$scene.ready" ]; then
    echo "make-screenshots: the tool never reached the scene $scene" >&2
    status=1
    break
  fi
  read -r left top width height < "$handover/$scene.ready"
  if import -window root -crop "${width}x${height}+${left}+${top}" +repage "png:$out/$scene.png.part" &&
     mv "$out/$scene.png.part" "$out/$scene.png"; then
    echo "make-screenshots: $out/$scene.png (${width}x${height})"
  else
    echo "make-screenshots: could not picture $scene" >&2
    status=1
  fi
  touch "$handover/$scene.done"
done
wait "$scenes_pid" || { echo "make-screenshots: the scenes program failed" >&2; status=1; }
scenes_pid=""
exit "$status"
