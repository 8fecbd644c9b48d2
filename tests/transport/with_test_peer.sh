#!/usr/bin/env bash
# Runs COMMAND while a test peer serves on 127.0.0.1:443, then stops the peer
# and returns COMMAND's exit code. The peer is a program (a .py file runs
# under Debian's python3, which carries python3-websockets) that prints a line
# containing " listening on " once it accepts connections. A .exe COMMAND is
# run through wine.
#
#   with_test_peer.sh PEER [PEER ARGS...] -- COMMAND...
#
# Fails loudly, without running COMMAND, when port 443 is taken or the peer
# does not come up: a test must never talk to a stranger's server.
set -uo pipefail

peer=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  peer+=("$1")
  shift
done
[ "${1:-}" = "--" ] && shift
if [ ${#peer[@]} -eq 0 ] || [ $# -eq 0 ]; then
  echo "usage: with_test_peer.sh PEER [ARGS...] -- COMMAND..." >&2
  exit 2
fi
case "${peer[0]}" in
  *.py) peer=("${VELMOR_PYTHON:-/usr/bin/python3}" "${peer[@]}") ;;
esac
if [ ! -e "${peer[0]}" ] && ! command -v "${peer[0]}" >/dev/null; then
  echo "with_test_peer.sh: the peer ${peer[0]} does not exist (build the native preset first)" >&2
  exit 1
fi
if [ -n "$(ss -Htln 'sport = :443')" ]; then
  echo "with_test_peer.sh: 127.0.0.1:443 is already in use; refusing to run against it" >&2
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

"${peer[@]}" >"$work/peer.out" 2>"$work/peer.err" </dev/null &
peer_pid=$!
for _ in $(seq 1 600); do
  grep -q " listening on " "$work/peer.out" && break
  if ! kill -0 "$peer_pid" 2>/dev/null; then
    echo "with_test_peer.sh: the peer did not start:" >&2
    cat "$work/peer.err" >&2
    peer_pid=
    exit 1
  fi
  sleep 0.1
done
if ! grep -q " listening on " "$work/peer.out"; then
  echo "with_test_peer.sh: the peer did not report that it listens" >&2
  cat "$work/peer.err" >&2
  exit 1
fi

case "$1" in
  *.exe) wine "$@" ;;
  *) "$@" ;;
esac
status=$?
if [ -s "$work/peer.err" ]; then
  echo "--- peer messages" >&2
  cat "$work/peer.err" >&2
fi
exit $status
