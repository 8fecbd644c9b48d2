# Sourced by scripts that run Windows programs: an isolated Wine session with
# its own prefix (a clean registry), one X display and one persistent
# wineserver, torn down by wine_session_stop.
#
#   wine_session_start WORKDIR   exports WINEPREFIX, DISPLAY and friends
#   wine_session_stop            kills the wineserver and the X server it started

wine_session_pick_display() {
  local n
  for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      echo "$n"
      return 0
    fi
  done
  return 1
}

wine_session_start() {
  local workdir=$1
  export WINEPREFIX="$workdir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  mkdir -p "$WINEPREFIX"

  if [ -z "${VELMOR_USE_DISPLAY:-}" ]; then
    local display
    display=$(wine_session_pick_display) || { echo "no free X display number" >&2; return 1; }
    setsid Xvfb ":$display" -screen 0 "${VELMOR_SCREEN:-1920x1080x24}" -nolisten tcp >"$workdir/xvfb.log" 2>&1 &
    WINE_SESSION_XVFB_PID=$!
    export DISPLAY=":$display"
    local tries=0
    until [ -e "/tmp/.X11-unix/X$display" ]; do
      tries=$((tries + 1))
      if [ $tries -gt 100 ] || ! kill -0 "$WINE_SESSION_XVFB_PID" 2>/dev/null; then
        echo "Xvfb did not start on :$display" >&2
        return 1
      fi
      sleep 0.1
    done
  fi

  # The persistent wineserver and the services wineboot starts must not hold
  # the caller's pipes open, so both run with their output redirected.
  WINE_SESSION_STARTED=1
  wineserver -p >/dev/null 2>&1 </dev/null
  wineboot -i >/dev/null 2>&1 </dev/null
  # A program that crashes must fail at once, not wait on the debugger's
  # crash dialog on the virtual display until its time-out.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
}

wine_session_stop() {
  # Only the session this script started: never a caller's own prefix.
  if [ -n "${WINE_SESSION_STARTED:-}" ] && [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    WINE_SESSION_STARTED=
  fi
  if [ -n "${WINE_SESSION_XVFB_PID:-}" ]; then
    kill "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB_PID" 2>/dev/null || true
    WINE_SESSION_XVFB_PID=
  fi
}
