#!/usr/bin/env bash
# Runs COMMAND while the independent WebSocket peer (Python websockets, see
# websocket_peer.py) serves TLS on 127.0.0.1:443 with the repository's
# certificates, then stops the peer and returns COMMAND's exit code. A .exe
# is run through wine.
#
#   with_websocket_peer.sh [--certs DIR] -- COMMAND...
#
# Fails loudly, without running COMMAND, when port 443 is taken or the peer
# does not come up: a test must never talk to a stranger's server.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
certs="$here/../../certs"
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --certs) certs=$2; shift 2 ;;
    *) echo "with_websocket_peer.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: with_websocket_peer.sh [--certs DIR] -- COMMAND..." >&2; exit 2; }

# Debian's interpreter carries python3-websockets; another python3 earlier on
# PATH may not.
python=${VELMOR_PYTHON:-/usr/bin/python3}
if ! "$python" -c 'import websockets' 2>/dev/null; then
  echo "with_websocket_peer.sh: $python cannot import websockets (install python3-websockets)" >&2
  exit 1
fi
if [ -n "$(ss -Htln 'sport = :443')" ]; then
  echo "with_websocket_peer.sh: 127.0.0.1:443 is already in use; refusing to run against it" >&2
  ss -tlnp 'sport = :443' >&2
  exit 1
fi

work=$(mktemp -d /tmp/velmor-peer.XXXXXX)
peer_pid=
stop_peer() {
  if [ -n "$peer_pid" ]; then
    kill -TERM "$peer_pid" 2>/dev/null
    wait "$peer_pid" 2>/dev/null
    peer_pid=
  fi
  rm -rf "$work"
}
trap stop_peer EXIT
trap 'exit 130' INT TERM

"$python" "$here/websocket_peer.py" --cert "$certs/server.crt" --key "$certs/server.key" \
  >"$work/peer.out" 2>"$work/peer.err" </dev/null &
peer_pid=$!
for _ in $(seq 1 100); do
  grep -q "^websocket-peer listening on " "$work/peer.out" && break
  if ! kill -0 "$peer_pid" 2>/dev/null; then
    echo "with_websocket_peer.sh: the peer did not start:" >&2
    cat "$work/peer.err" >&2
    peer_pid=
    exit 1
  fi
  sleep 0.1
done
if ! grep -q "^websocket-peer listening on " "$work/peer.out"; then
  echo "with_websocket_peer.sh: the peer did not report that it listens" >&2
  cat "$work/peer.err" >&2
  exit 1
fi

case "$1" in
  *.exe) wine "$@" ;;
  *) "$@" ;;
esac
status=$?
if [ -s "$work/peer.err" ]; then
  echo "--- peer errors" >&2
  cat "$work/peer.err" >&2
fi
exit $status
