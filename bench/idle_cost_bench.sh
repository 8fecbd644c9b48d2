#!/usr/bin/env bash
# What the client costs while nobody uses it, side by side with the bare Dear
# ImGui Direct3D 11 example built from the same sources (imgui_bare_example),
# each run the same way: under Wine, in a fresh prefix, on a private Xvfb,
# against the local server (port 443 must be free; started here without the
# demo bots, so the community is quiet).
#
#   bench/idle_cost_bench.sh [seconds]      (default 60 per measurement)
#
# For each program: CPU of the process as a share of one core while visible
# and idle, while minimised (started minimised) and while covered by another
# window; the frames the client built in each (its log's "Frames built" at
# exit, less those of a run that exits as soon as it is settled); resident
# memory. For the client also: resident memory after a 10,000-name users_list
# and a full transcript. Builds nothing: expects build/windows/bin.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}
seconds=${1:-60}
client=$build_root/windows/bin/VelmorChat.exe
bare=$build_root/windows/bin/imgui_bare_example.exe
for program in "$client" "$bare"; do
  [ -x "$program" ] || { echo "missing $program (build the windows preset)" >&2; exit 1; }
done

if [ "${1:-}" != "--inner" ]; then
  # The server lives for the whole run; everything else happens inside.
  export VELMOR_NATIVE_BIN_DIR=$build_root/native/bin
  exec "$root/scripts/lib/with_local_server.sh" -- "${BASH_SOURCE[0]}" --inner "$seconds"
fi
seconds=$2
source "$root/scripts/lib/wine_session.sh"
source "$root/scripts/lib/client_prefix.sh"
work=$(mktemp -d /tmp/velmor-idle.XXXXXX)
cd "$work" || exit 1  # the example writes its imgui.ini where it starts
trap 'wineserver -k >/dev/null 2>&1; wine_session_stop; rm -rf "$work"' EXIT
VELMOR_SCREEN=1600x1000x24 wine_session_start "$work" || exit 1
client_prefix_prepare "IdleBench"
control=http://127.0.0.1:7443
ticks=$(getconf CLK_TCK)
page=$(getconf PAGESIZE)

pid_of() {  # image name: the Linux process Wine runs it in, in this prefix
  local pid
  for _ in $(seq 1 300); do
    for pid in $(pgrep -f "$1"); do
      # The program itself, not the "start" that launched it.
      case "$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1)" in *"$1") ;; *) continue ;; esac
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        echo "$pid"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Resident memory, and after "/" the same without the X server's shared
# images of the window (System V shared memory): their size follows how the
# X server and Wine happen to present the surface (4 MB more or less from run
# to run), not the program.
rss_mb() {
  local total own
  total=$(awk -v page="$page" '{printf "%.1f", $2 * page / 1048576}' "/proc/$1/statm")
  own=$(awk '/^[0-9a-f]+-[0-9a-f]+ / {shared = ($6 ~ /^\/SYSV/)} /^Rss:/ && !shared {kb += $2}
             END {printf "%.1f", kb / 1024}' "/proc/$1/smaps")
  echo "$total/$own"
}
connected() {
  python3 -c 'import sys, urllib.request; sys.exit(b"\"IdleBench\"" not in urllib.request.urlopen(sys.argv[1] + "/users", timeout=5).read())' "$control" 2>/dev/null
}

# Both programs draw into a window of the example's size (1280 x 800), so
# that their back buffers weigh the same.
same_size() {  # pid
  local window
  for window in $(xdotool search --all --onlyvisible --pid "$1" 2>/dev/null); do
    xdotool windowsize "$window" 1280 800 2>/dev/null
  done
}

# Starts PROGRAM (with `start /min` when minimised), waits until it is settled
# (connected, for the client, and 10 s more), measures CPU over the interval
# with COVER=1 putting an X window over the whole screen first; prints
# "cpu% rss frames" (frames: the client's count at exit, "-" for the example).
measure() {  # program minimised(0/1) cover(0/1) seconds
  local program=$1 minimised=$2 cover=$3 interval=$4 pid before after cover_pid=
  if [ "$minimised" = 1 ]; then
    wine start /min "$(winepath -w "$program")" >/dev/null 2>&1 </dev/null &
  else
    wine "$program" >/dev/null 2>&1 </dev/null &
  fi
  pid=$(pid_of "$(basename "$program")") || { echo "did not start"; return 1; }
  if [ "$program" = "$client" ]; then
    for _ in $(seq 1 600); do connected && break; sleep 0.1; done
  fi
  same_size "$pid"
  sleep 10
  if [ "$cover" = 1 ]; then
    xmessage -geometry 1600x1000+0+0 -center "covering" >/dev/null 2>&1 &
    cover_pid=$!
    sleep 2
  fi
  before=$(cpu_ticks "$pid")
  sleep "$interval"
  after=$(cpu_ticks "$pid")
  local rss
  rss=$(rss_mb "$pid")
  [ -n "$cover_pid" ] && kill "$cover_pid" 2>/dev/null
  wine taskkill /im "$(basename "$program")" >/dev/null 2>&1 </dev/null
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null
  local frames=-
  if [ "$program" = "$client" ]; then
    frames=$(grep -a "Frames built: " "$(client_log_path)" | tail -n 1 | tr -d '\r' | sed 's/.*Frames built: //')
  fi
  awk -v d=$((after - before)) -v t="$ticks" -v s="$interval" -v r="$rss" -v f="${frames:-?}" \
    'BEGIN {printf "%.1f%% %s %s\n", 100 * d / t / s, r, f}'
}

echo "idle cost over ${seconds} s per measurement (CPU as a share of one core; RSS in MB, then without the X shared window images)"
read -r _ _ base_frames < <(measure "$client" 0 0 1)
echo "client settled (baseline run): ${base_frames} frames"
for phase in "visible 0 0" "minimised 1 0" "covered 0 1"; do
  read -r name minimised cover <<<"$phase"
  read -r cpu rss client_frames < <(measure "$client" "$minimised" "$cover" "$seconds")
  read -r bare_cpu bare_rss _ < <(measure "$bare" "$minimised" "$cover" "$seconds")
  printf '%-10s client %6s CPU, %5s frames beyond the settled run, RSS %s MB | bare example %6s CPU, RSS %s MB\n' \
    "$name" "$cpu" "$((client_frames - base_frames))" "$rss" "$bare_cpu" "$bare_rss"
done

# Resident memory connected, quiet, then after 10,000 names and a full
# transcript (the list is the server's to replace at the next keep-alive
# refresh, so it is measured at once).
wine "$client" >/dev/null 2>&1 </dev/null &
pid=$(pid_of VelmorChat.exe)
for _ in $(seq 1 600); do connected && break; sleep 0.1; done
same_size "$pid"
sleep 10
echo "client connected with the server's own users: RSS $(rss_mb "$pid") MB"
python3 - "$control" <<'PY'
import json, sys, urllib.parse, urllib.request
control = sys.argv[1]
def send(text):
    urllib.request.urlopen(control + "/send?user=IdleBench&text=" + urllib.parse.quote(text), timeout=60).read()
send(json.dumps({"type": "users_list", "users": ["Member %05d" % i for i in range(10000)]}))
for i in range(2500):
    send(json.dumps({"type": "message", "room": "Bench", "username": "Member %05d" % (i % 10000),
                     "text": "line %d " % i + "x" * 90}))
PY
sleep 5
echo "client after a 10,000-name users_list and 2,500 room lines: RSS $(rss_mb "$pid") MB"
wine taskkill /im VelmorChat.exe >/dev/null 2>&1 </dev/null
for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
