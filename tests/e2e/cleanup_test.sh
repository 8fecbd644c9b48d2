#!/usr/bin/env bash
# A scenario that is interrupted or killed leaves nothing behind: its prefix,
# its Xvfb and its wineserver are gone once it has ended. Needs Wine and Xvfb,
# not the local server.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
report=$(mktemp /tmp/velmor-cleanup-report.XXXXXX)
trap 'rm -f "$report"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# The wineserver processes that serve the prefix PREFIX.
wineservers_of() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    case "$(cat "/proc/$pid/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$1" && echo "$pid"
  done
}

# Job control, so that the scenario (a background job) does not start with
# SIGINT ignored, as a non-interactive shell's background jobs otherwise do.
set -m
for signal in TERM INT HUP; do
  : >"$report"
  # The scenario: a session of its own, then waiting (as scenarios wait for
  # the client) until the signal comes.
  VELMOR_REPORT=$report bash -c '
    source "$1/e2e_common.sh"
    e2e_start_session 640x480 || exit 1
    echo "$E2E_WORK $WINE_SESSION_XVFB_PID $WINEPREFIX" >"$VELMOR_REPORT"
    while :; do sleep 0.2; done
  ' scenario "$here" &
  scenario=$!
  for _ in $(seq 3000); do
    [ -s "$report" ] && break
    kill -0 "$scenario" 2>/dev/null || break
    sleep 0.1
  done
  read -r work xvfb prefix <"$report" || { fail "$signal: the scenario did not start its session"; continue; }
  [ -n "$(wineservers_of "$prefix")" ] || fail "$signal: no wineserver found for the scenario's prefix"
  kill "-$signal" "$scenario"
  wait "$scenario"
  echo "SIG$signal: the scenario ended with status $?"
  [ ! -e "$work" ] || fail "$signal: the work folder $work is left behind"
  ! kill -0 "$xvfb" 2>/dev/null || { fail "$signal: Xvfb $xvfb still runs"; kill "$xvfb"; }
  for _ in $(seq 300); do [ -z "$(wineservers_of "$prefix")" ] && break; sleep 0.1; done
  [ -z "$(wineservers_of "$prefix")" ] || fail "$signal: the wineserver of $prefix still runs"
done
[ "$failed" -eq 0 ] && echo "ok: every way out cleaned up"
exit $failed
