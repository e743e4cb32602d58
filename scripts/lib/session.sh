# Shared by the run and test scripts: a private Xvfb display and a Wine prefix
# of the project's own. Everything started here is stopped by stop_session,
# by process id or by prefix, never by process name.

xvfb_pid=""

start_private_xvfb() {
  local n
  for n in $(seq 91 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      local i
      for i in $(seq 1 50); do
        if [ -e "/tmp/.X11-unix/X$n" ]; then
          export DISPLAY=":$n"
          return 0
        fi
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
        sleep 0.1
      done
      kill "$xvfb_pid" 2>/dev/null || true
      xvfb_pid=""
    fi
  done
  echo "could not start a private Xvfb display" >&2
  return 1
}

# Whether a wineserver serves the prefix $1 now: a wineserver works in a
# folder named after the prefix's device and inode.
wineserver_running() {
  local device inode pid
  device=$(stat -c %d "$1" 2>/dev/null) && inode=$(stat -c %i "$1" 2>/dev/null) || return 1
  for pid in $(pgrep '^wineserver'); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in
      */server-$(printf %x "$device")-$(printf %x "$inode")) return 0 ;;
    esac
  done
  return 1
}

# The one Wine environment of every script: the prefix $1, quiet, and no
# Mono or Gecko (the tool needs neither, and their installers would stall).
wine_environment() {
  export WINEPREFIX="$1"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

# The tests' prefix, also the default of a single test run by hand.
test_wine_prefix() { echo "$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/wineprefix-test"; }

start_wine() {
  wine_environment "$1"
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (first start-up is slow)..."
  fi
  wineboot -i >/dev/null 2>&1 || true
  # Keep one wineserver for the whole run, so each test pays no start-up.
  wineserver -p >/dev/null 2>&1 || true
}

# For the tests' prefix only: Xvfb has no window manager, and unmanaged windows
# spare Wine's two-second wait for one each time a window closes.
unmanaged_windows() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
}

stop_private_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

stop_session() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  stop_private_xvfb
}
