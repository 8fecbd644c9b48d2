#!/usr/bin/env bash
# How long the client takes to go away once a person closes its window while
# frames render slowly (Wine's software rasteriser under Xvfb, optionally with
# both cores loaded by busy loops). Each round starts the real VelmorChat.exe
# in a fresh prefix against the local server (demo bots on), waits until it is
# connected and drawing, clicks the close button in its caption and times
# until the window is gone and the process has ended.
#
# Xvfb has no window manager, and Wine waits up to 2 s for one to acknowledge
# a managed window being hidden; a desktop always has one. So the prefix asks
# Wine to draw the window frames itself (unmanaged windows, as on Windows),
# and the close button is Wine's.
#
#   bench/close_time_bench.sh [--load] [--rounds N]     (default 3 rounds)
#
# Prints one line per round: "round N: window gone after A ms, process ended
# after B ms" (A: the main window no longer on the display), then the worst
# of each. Needs both presets built; uses 127.0.0.1:443.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}
client=$build_root/windows/bin/VelmorChat.exe

if [ "${1:-}" != "--inner" ]; then
  [ -f "$client" ] || { echo "close_time_bench: build the windows preset first ($client)" >&2; exit 1; }
  exec "$root/scripts/lib/with_local_server.sh" --demo -- "$0" --inner "$@"
fi
shift

load=0
rounds=3
while [ $# -gt 0 ]; do
  case "$1" in
    --load) load=1 ;;
    --rounds) rounds=$2; shift ;;
    *) echo "usage: close_time_bench.sh [--load] [--rounds N]" >&2; exit 2 ;;
  esac
  shift
done

source "$root/scripts/lib/wine_session.sh"
source "$root/scripts/lib/client_prefix.sh"

loaders=()
client_pid=
work=
finish() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  for pid in "${loaders[@]}"; do kill "$pid" 2>/dev/null; done
  wine_session_stop
  [ -n "$work" ] && rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

now_ms() { echo $(($(date +%s%N) / 1000000)); }

if [ $load -eq 1 ]; then
  for _ in 1 2; do
    (while :; do :; done) &
    loaders+=($!)
  done
  echo "close_time_bench: both cores loaded by busy loops"
fi

worst_gone=0
worst_ended=0
for round in $(seq 1 "$rounds"); do
  work=$(mktemp -d /tmp/velmor-close-bench.XXXXXX)
  unset VELMOR_USE_DISPLAY
  VELMOR_SCREEN=1600x1000x24 wine_session_start "$work" || { echo "no Wine session" >&2; exit 1; }
  client_prefix_prepare "Closer$round"
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  echo "round $round: starting the client"
  wine "$client" >"$work/client.out" 2>&1 &
  client_pid=$!

  log=$(client_log_path)
  for _ in $(seq 1 1200); do
    grep -qF "Connected. Syncing presence and rooms..." "$log" 2>/dev/null && break
    kill -0 "$client_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -qF "Connected. Syncing presence and rooms..." "$log" 2>/dev/null ||
    { echo "round $round: the client did not connect within 120 s" >&2; exit 1; }
  window=$(xdotool search --sync --limit 1 --name 'Velmor Chat' 2>/dev/null | head -n 1)
  [ -n "$window" ] || { echo "round $round: no main window" >&2; exit 1; }
  sleep 5  # frames, room lines from the demo bots, presence
  # The X window of an unmanaged window is the whole frame: the close button
  # is at the right end of the caption.
  eval "$(xdotool getwindowgeometry --shell "$window")"

  start=$(now_ms)
  xdotool mousemove $((X + WIDTH - 14)) $((Y + 10)) click 1
  gone=
  while kill -0 "$client_pid" 2>/dev/null; do
    if [ -z "$gone" ] && ! xdotool search --onlyvisible --name 'Velmor Chat' >/dev/null 2>&1; then
      gone=$(($(now_ms) - start))
    fi
    if [ $(($(now_ms) - start)) -gt 60000 ]; then
      echo "round $round: still running 60 s after the click" >&2
      exit 1
    fi
    sleep 0.02
  done
  ended=$(($(now_ms) - start))
  wait "$client_pid" 2>/dev/null
  client_pid=
  [ -n "$gone" ] || gone=$ended
  grep -qF "Application shutting down" "$log" ||
    { echo "round $round: the client ended without its shutdown (not closed by its close button?)" >&2; exit 1; }
  echo "round $round: window gone after $gone ms, process ended after $ended ms"
  [ "$gone" -gt "$worst_gone" ] && worst_gone=$gone
  [ "$ended" -gt "$worst_ended" ] && worst_ended=$ended
  wine_session_stop
  rm -rf "$work"
  work=
done
echo "worst of $rounds: window gone after $worst_gone ms, process ended after $worst_ended ms"
