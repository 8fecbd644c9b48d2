#!/usr/bin/env bash
# Soak benchmark: the real VelmorChat.exe under Wine for MINUTES (default 60)
# against the local server with its demo bots, while a scripted peer
# (bench/soak_peer.py) says a line in the client's room and sends the client a
# direct message every second. Once a minute it samples the client with
# tools/velmor-procstat.exe (handles, threads, GDI and USER objects, private
# bytes, working set, CPU time, whether its windows answer); at the end it
# prints the growth per hour of each figure (least-squares line through the
# samples after the first few minutes) and the raw samples. Figures only,
# never a failure; a client that dies or hangs is reported as such.
#
#   bench/soak_bench.sh [minutes]
#
# Runs in a private network namespace (the server takes 443 there), with its
# own Wine prefix and Xvfb. Needs both presets built. Prints progress as it
# goes; the samples are also written to artifacts/soak/samples.txt.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}

if [ -z "${VELMOR_SOAK_NAMESPACE:-}" ]; then
  exec unshare -n env VELMOR_SOAK_NAMESPACE=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

minutes=${1:-60}
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -ge 3 ] || { echo "usage: bench/soak_bench.sh [minutes, at least 3]" >&2; exit 2; }
python=${VELMOR_PYTHON:-/usr/bin/python3}
server_exe=${VELMOR_SERVER:-$build_root/native/bin/velmor-server}
client_exe=$build_root/windows/bin/VelmorChat.exe
procstat_exe=${VELMOR_PROCSTAT:-$build_root/windows/bin/velmor-procstat.exe}
for program in "$server_exe" "$client_exe" "$procstat_exe"; do
  [ -f "$program" ] || { echo "soak: missing $program (build the native and windows presets)" >&2; exit 1; }
done

source "$root/scripts/lib/wine_session.sh"
source "$root/scripts/lib/client_prefix.sh"

readonly client_name=SoakAmy
readonly room="Demo Lobby"
readonly control_url=http://127.0.0.1:7443
artifacts=$root/artifacts/soak
mkdir -p "$artifacts"
samples=$artifacts/samples.txt
work=$(mktemp -d /tmp/velmor-soak.XXXXXX)
server_pid=
client_pid=
peer_pid=

cleanup() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  [ -f "$(client_log_path 2>/dev/null)" ] && cp "$(client_log_path)" "$artifacts/client.log"
  [ -f "$work/client.out" ] && cp "$work/client.out" "$artifacts/client.out"
  wine_session_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

say() { echo "[$(date +%H:%M:%S)] $*"; }
control() { curl -sf --max-time 10 "$control_url$1"; }
online() { control /users | grep -qF "\"$1\""; }
wait_until() {  # seconds command...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}
# A window that misses the 1 s once is asked twice more, 5 s apart: a busy
# machine can starve the interface thread for a moment, a hang stays.
# "window=slow" then says that a later try was answered.
stat_line() {
  local line try
  line=$(wine "$procstat_exe" VelmorChat.exe 2>/dev/null </dev/null | tr -d '\r')
  for try in 1 2; do
    [[ "$line" == *window=hung* ]] || break
    sleep 5
    if [[ "$(wine "$procstat_exe" VelmorChat.exe 2>/dev/null </dev/null)" == *window=responsive* ]]; then
      line=${line/window=hung/window=slow}
    fi
  done
  echo "$line"
}
# Under Wine the Windows figures for private memory and CPU time are stubs
# (see tools/velmor_procstat.cpp): Linux's view of the same process.
linux_figures() {
  awk '/^RssAnon:/ {printf "rss_anon_kb=%s ", $2}' "/proc/$client_pid/status"
  awk -v hz="$(getconf CLK_TCK)" '{printf "linux_cpu_ms=%d", ($14 + $15) * 1000 / hz}' "/proc/$client_pid/stat"
}
readonly columns="handles threads gdi user private_bytes working_set rss_anon_kb cpu_ms linux_cpu_ms hwnds windows window"

wine_session_start "$work" || { echo "soak: no Wine session" >&2; exit 1; }
client_prefix_prepare "$client_name"

"$server_exe" --address 127.0.0.1 --port 443 --control-port 7443 --demo --quiet \
  --cert "$root/certs/server.crt" --key "$root/certs/server.key" >"$work/server.out" 2>"$work/server.err" </dev/null &
server_pid=$!
wait_until 30 grep -q '^velmor-server listening on ' "$work/server.out" || { echo "soak: the server did not start" >&2; exit 1; }

say "starting the client as $client_name for $minutes minutes"
wine "$client_exe" >"$work/client.out" 2>&1 &
client_pid=$!
wait_until 180 online "$client_name" || { echo "soak: the client did not connect within 180 s" >&2; exit 1; }
# The client takes its room from the server's room_joined; the reconnect that
# follows makes the membership real (it asks to join the room itself).
room_joined='{"type":"room_joined","room":"Demo Lobby","host":"Mira","users":["Mira"],"game":"Stronghold Crusader","max_players":8}'
control "/send?user=$client_name&text=$("$python" -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$room_joined")" >/dev/null
sleep 2
control "/drop?user=$client_name" >/dev/null
joined() { control /requests | grep -F "\"user\":\"$client_name\",\"type\":\"join_room\"" | grep -qF "$room"; }
wait_until 60 joined || { echo "soak: the client did not join $room" >&2; exit 1; }

"$python" "$root/bench/soak_peer.py" "$root/certs/ca.crt" SoakPeer "$room" "$client_name" >"$work/peer.out" 2>&1 &
peer_pid=$!
wait_until 30 online SoakPeer || { echo "soak: the peer did not connect" >&2; cat "$work/peer.out" >&2; exit 1; }

echo "minute $columns" >"$samples"
started=$SECONDS
for minute in $(seq 0 "$minutes"); do
  # Sample at whole minutes after the peer started.
  while [ $((SECONDS - started)) -lt $((minute * 60)) ]; do sleep 1; done
  if ! kill -0 "$client_pid" 2>/dev/null; then
    wait "$client_pid"
    say "the client process ended before minute $minute with exit status $? (its output: artifacts/soak/client.out)"
    tail -n 5 "$work/client.out"
    client_pid=
    break
  fi
  line="$(stat_line) $(linux_figures)"
  row=$minute
  for column in $columns; do
    value=$(sed -n "s/.* $column=\([^ ]*\).*/\1/p" <<<" $line")
    row+=" ${value:--}"
  done
  echo "$row" >>"$samples"
  say "minute $minute: $line | $(tail -n 1 "$work/peer.out" 2>/dev/null)"
done

echo
echo "peer: $(grep 'sent' "$work/peer.out" | tail -n 1)"
echo "client: $(grep -c 'WS RX: message' "$(client_log_path)" 2>/dev/null) room messages and $(grep -c 'WS RX: dm' "$(client_log_path)" 2>/dev/null) direct messages logged received"
# Growth per hour: a least-squares line through the samples after the first
# few minutes (start-up, first windows and caches settle there).
"$python" - "$samples" "$minutes" <<'PY'
import sys
rows = [line.split() for line in open(sys.argv[1])]
header, rows = rows[0], [r for r in rows[1:] if len(r) == len(rows[0]) and "-" not in r]
skip = min(3, int(sys.argv[2]) // 3)
fit = [r for r in rows if int(r[0]) >= skip]
print(f"growth per hour (least squares over minutes {skip}-{fit[-1][0] if fit else '-'}, {len(fit)} samples):")
for column in range(1, len(header) - 1):
    xs = [float(r[0]) for r in fit]
    ys = [float(r[column]) for r in fit]
    if len(xs) < 2:
        print(f"  {header[column]:>14}: too few samples")
        continue
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
    unit = " (CPU ms per hour: the client's load)" if header[column].endswith("cpu_ms") else ""
    print(f"  {header[column]:>14}: {slope * 60:+.1f}/h  (first {ys[0]:.0f}, last {ys[-1]:.0f}){unit}")
slow = [r[0] for r in rows if r[-1].startswith("slow")]
hung = [r[0] for r in rows if r[-1] != "responsive" and not r[-1].startswith("slow")]
print("windows answered WM_NULL within 1 s at every sample" if not slow and not hung else
      f"windows answered only on a second try at minutes {', '.join(slow) or '-'}; not at all at minutes {', '.join(hung) or '-'}")
print("raw samples:")
for r in [header] + rows:
    print("  " + " ".join(f"{v:>14}" for v in r))
PY
