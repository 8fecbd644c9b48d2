#!/usr/bin/env bash
# Runs one command against a local community server: starts velmor-server on
# 127.0.0.1:443 with its control interface on 127.0.0.1:7443 and the
# repository's certificates, waits until it listens, runs the command (a .exe
# through wine, in the caller's Wine session), stops the server and returns
# the command's exit code.
#
#   with_local_server.sh [server options] -- COMMAND [ARGS...]
#
# The server is $VELMOR_SERVER, or velmor-server in $VELMOR_NATIVE_BIN_DIR
# (default build/native/bin). Port 443 is shared by everyone on the machine:
# if 443 or 7443 is taken this fails at once, without touching the stranger's
# server. CTest entries that use it set RESOURCE_LOCK port443.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
server=${VELMOR_SERVER:-${VELMOR_NATIVE_BIN_DIR:-$root/build/native/bin}/velmor-server}

fail() {
  echo "with_local_server: $*" >&2
  exit 1
}

options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  options+=("$1")
  shift
done
[ "${1:-}" = "--" ] && [ $# -ge 2 ] || { echo "usage: with_local_server.sh [server options] -- COMMAND [ARGS...]" >&2; exit 2; }
shift

[ -x "$server" ] || fail "the server program is missing: $server (build the native preset first)"
for port in 443 7443; do
  if ss -Hltn "sport = :$port" 2>/dev/null | grep -q .; then
    fail "port $port is already in use on this machine (another test run or server holds it); not starting"
  fi
done

work=$(mktemp -d /tmp/velmor-local-server.XXXXXX)
server_pid=
stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid" 2>/dev/null
    for _ in $(seq 100); do
      kill -0 "$server_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$server_pid" 2>/dev/null
  fi
  if [ -n "$server_pid" ]; then
    wait "$server_pid" 2>/dev/null
    server_status=$?
    server_pid=
  fi
}
server_status=0
trap 'stop_server; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

"$server" --address 127.0.0.1 --port 443 --control-port 7443 \
  --cert "$root/certs/server.crt" --key "$root/certs/server.key" \
  --untrusted-cert "$root/certs/untrusted/server.crt" --untrusted-key "$root/certs/untrusted/server.key" \
  "${options[@]}" >"$work/stdout" 2>"$work/stderr" </dev/null &
server_pid=$!

for _ in $(seq 600); do
  grep -q '^velmor-server listening on ' "$work/stdout" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^velmor-server listening on ' "$work/stdout" 2>/dev/null; then
  cat "$work/stderr" >&2
  fail "the server did not start listening on 127.0.0.1:443"
fi

case "$1" in
  *.exe) wine "$@" ;;
  *) "$@" ;;
esac
status=$?

stop_server
if [ "$server_status" -ne 0 ]; then
  # A server that crashed or hung under the test must not pass unnoticed.
  cat "$work/stderr" >&2
  echo "with_local_server: the server ended with status $server_status" >&2
  [ "$status" -eq 0 ] && status=1
fi
exit $status
