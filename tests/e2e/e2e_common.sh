# Sourced by the end-to-end tests: each runs the real VelmorChat.exe under
# Wine, in a fresh prefix, against the local server that
# scripts/lib/with_local_server.sh started (control interface on 7443).
#
# Environment: VELMOR_CLIENT_EXE (the client), VELMOR_ARTIFACTS (where
# screenshots go). A test fails by calling e2e_fail with a reason.

set -uo pipefail
e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$e2e_root/scripts/lib/wine_session.sh"
source "$e2e_root/scripts/lib/client_prefix.sh"

E2E_CONTROL=${VELMOR_CONTROL_URL:-http://127.0.0.1:7443}
E2E_CLIENT_PID=
E2E_WORK=
E2E_FAILED=0

# However a scenario ends (its last line, an error, an interrupt or a kill
# short of SIGKILL), the client, the wineserver, the Xvfb and the prefix it
# started go with it: Xvfb runs in a session of its own and the wineserver is
# a daemon, so nothing else would stop them.
trap 'e2e_stop_session' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

e2e_fail() {
  echo "FAIL: $*" >&2
  E2E_FAILED=1
}

e2e_check() {  # description, command...
  local description=$1
  shift
  if "$@"; then echo "ok: $description"; else e2e_fail "$description"; fi
}

# A fresh prefix (and, with a screen size, a private Xvfb of that size;
# otherwise the display of the test run).
e2e_start_session() {  # [WIDTHxHEIGHT]
  E2E_WORK=$(mktemp -d /tmp/velmor-e2e.XXXXXX)
  if [ -n "${1:-}" ]; then
    unset VELMOR_USE_DISPLAY
    VELMOR_SCREEN="${1}x24" wine_session_start "$E2E_WORK" || { e2e_fail "no Wine session"; return 1; }
  else
    if [ -n "${DISPLAY:-}" ]; then export VELMOR_USE_DISPLAY=1; fi
    wine_session_start "$E2E_WORK" || { e2e_fail "no Wine session"; return 1; }
  fi
}

e2e_stop_session() {  # safe to call again, and before any session started
  if [ -n "$E2E_CLIENT_PID" ]; then
    kill "$E2E_CLIENT_PID" 2>/dev/null || true
    E2E_CLIENT_PID=
  fi
  wine_session_stop
  if [ -n "$E2E_WORK" ]; then
    rm -rf "$E2E_WORK"
    E2E_WORK=
  fi
}

e2e_control() {  # path -> body on stdout; non-zero when the server does not answer 200
  python3 - "$E2E_CONTROL$1" <<'PY'
import sys, urllib.request
try:
    with urllib.request.urlopen(sys.argv[1], timeout=5) as reply:
        sys.stdout.write(reply.read().decode("utf-8"))
except Exception as error:
    sys.stderr.write(f"control request failed: {error}\n")
    sys.exit(1)
PY
}

e2e_start_client() {
  wine "$VELMOR_CLIENT_EXE" >"$E2E_WORK/client.out" 2>&1 &
  E2E_CLIENT_PID=$!
}

# Waits until the client's log file holds a line containing TEXT.
e2e_wait_for_log() {  # text [seconds]
  local text=$1 limit=${2:-30} waited=0 log
  log=$(client_log_path)
  while [ "$waited" -lt $((limit * 10)) ]; do
    grep -qF -- "$text" "$log" 2>/dev/null && return 0
    sleep 0.1
    waited=$((waited + 1))
  done
  return 1
}

e2e_log_has() { grep -qF -- "$1" "$(client_log_path)" 2>/dev/null; }

# Runs COMMAND every fifth of a second until it succeeds or SECONDS pass.
e2e_wait_until() {  # seconds command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# The types the server received from USER, in order, one per line.
e2e_request_types() {  # user
  e2e_control /requests | python3 -c '
import json, sys
for line in sys.stdin:
    line = line.strip()
    if line:
        record = json.loads(line)
        if record.get("user") == sys.argv[1]:
            print(record.get("type", ""))' "$1"
}

# The client's main window (the top-level X window with the product title).
e2e_main_window() {
  xdotool search --sync --limit 1 --name 'Velmor Chat' 2>/dev/null | head -n 1
}

e2e_screenshot() {  # name
  local directory=${VELMOR_ARTIFACTS:-$e2e_root/artifacts/screenshots}
  mkdir -p "$directory"
  import -window root "$directory/$1.png" && echo "screenshot: $directory/$1.png"
}

# The most frequent colour of a screenshot, as "r,g,b".
e2e_dominant_colour() {  # shot
  convert "$1" -format %c histogram:info:- 2>/dev/null | sort -rn | head -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}

# The client draws on its own schedule, slower on a busy machine: takes the
# screenshot NAME again until COLOUR is its most frequent one or SECONDS
# pass, and prints the colour of the last one.
e2e_screenshot_until_dominant() {  # name r,g,b [seconds]
  local shot="${VELMOR_ARTIFACTS:-$e2e_root/artifacts/screenshots}/$1.png" colour deadline=$((SECONDS + ${3:-120}))
  while :; do
    e2e_screenshot "$1" >&2
    colour=$(e2e_dominant_colour "$shot")
    if [ "$colour" = "$2" ] || [ "$SECONDS" -ge "$deadline" ]; then break; fi
    sleep 0.5
  done
  echo "$colour"
}

# The main window's client area on the screen as "x y width height" (under
# Wine the X window of a top-level window is its client area).
e2e_client_geometry() {
  local window
  window=$(e2e_main_window)
  [ -n "$window" ] || return 1
  xdotool getwindowgeometry --shell "$window" |
    awk -F= '/^X=/ {x = $2} /^Y=/ {y = $2} /^WIDTH=/ {w = $2} /^HEIGHT=/ {h = $2} END {print x, y, w, h}'
}

# The length of the first run (4 pixels or more) of the colour r,g,b going
# down the column X of the image SHOT from Y, looking at most LIMIT pixels
# down; 0 when there is none.
e2e_colour_run_down() {  # shot x y limit r,g,b
  convert "$1" -crop "1x$4+$2+$3" +repage -depth 8 txt:- 2>/dev/null | python3 -c '
import re, sys
wanted = tuple(int(v) for v in sys.argv[1].split(","))
run = 0
for line in sys.stdin:
    match = re.search(r"\((\d+),(\d+),(\d+)", line)
    if not match or line.startswith("#"):
        continue
    if tuple(int(v) for v in match.groups()) == wanted:
        run += 1
    elif run >= 4:
        break
    else:
        run = 0
print(run if run >= 4 else 0)' "$5"
}

# Colour of one screen pixel as "r,g,b" (0-255).
e2e_pixel() {  # x y
  import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
    sed -n '2p' | sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}

# Closes the client like the window frame would (WM_CLOSE) and returns its
# exit code.
e2e_close_client() {
  wine taskkill /im VelmorChat.exe >/dev/null 2>&1 </dev/null
  local code=0
  wait "$E2E_CLIENT_PID" || code=$?
  E2E_CLIENT_PID=
  return $code
}

# The centre "x y" of the area drawn in exactly one colour (for finding a
# widget by its theme colour, e.g. the identity box's frame background).
e2e_colour_box_centre() {  # r,g,b [above-y]: only rows above above-y when given
  local shot="$E2E_WORK/find.png" geometry
  import -window root "$shot"
  [ -n "${2:-}" ] && mogrify -crop "x${2}+0+0" +repage "$shot"
  geometry=$(convert "$shot" -fill black +opaque "rgb($1)" -fill white -opaque "rgb($1)" -trim \
    -format '%w %h %X %Y' info: 2>/dev/null) || return 1
  set -- $geometry
  [ "$1" -gt 1 ] && [ "$2" -gt 1 ] || return 1
  echo "$(( ${3#+} + $1 / 2 )) $(( ${4#+} + $2 / 2 ))"
}
