# Shared set-up of Tolvane's scripts: packages, Xvfb, the private Wine prefix.
# Sourced by scripts/test, scripts/demo and scripts/bench; bash only.

TOLVANE_PACKAGES="cmake make g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools wine wine64 xvfb xauth x11-utils googletest locales-all"

# Installs whatever of the given Debian packages is missing (apt-get update once).
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Starts a private Xvfb on a free display unless DISPLAY is already usable.
# Sets TOLVANE_XVFB_PID when it started one.
TOLVANE_XVFB_PID=""
start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] && continue
    Xvfb ":${n}" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
    TOLVANE_XVFB_PID=$!
    export DISPLAY=":${n}"
    local i
    for i in $(seq 1 100); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$TOLVANE_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$TOLVANE_XVFB_PID" 2>/dev/null
    TOLVANE_XVFB_PID=""
  done
  echo "Could not start Xvfb" >&2
  return 1
}

# Uses (and creates once) a private Wine prefix in the given folder, then starts
# its wineserver and background processes detached from our output, so that
# programs run by ctest end at once instead of lingering on shared pipes.
start_wine() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  if [ ! -f "$WINEPREFIX/.tolvane-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.tolvane-ready"
  fi
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running: reuse it
  wine wineboot </dev/null >/dev/null 2>&1
}

# Stops what start_wine and start_display started.
stop_all() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$TOLVANE_XVFB_PID" ]; then
    kill "$TOLVANE_XVFB_PID" 2>/dev/null || true
    wait "$TOLVANE_XVFB_PID" 2>/dev/null || true
    TOLVANE_XVFB_PID=""
  fi
}

# Configures and builds one architecture into the given folder.
build_arch() {
  local arch="$1" dir="$2"
  shift 2
  cmake -S "$TOLVANE_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$TOLVANE_ROOT/cmake/toolchain-${arch}-w64-mingw32.cmake" "$@" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$(nproc)"
}
