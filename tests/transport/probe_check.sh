#!/usr/bin/env bash
# Checks velmor-probe.exe against the independent peer on 127.0.0.1:443 (run
# under with_test_peer.sh): lines of standard input go out as text
# messages, what comes back is printed with its kind, both back-ends are
# reachable, and a failure, on opening or later on the receiving side, ends
# the probe non-zero with the transport's text.
#
#   probe_check.sh PATH/TO/velmor-probe.exe
set -uo pipefail
probe=$1
work=$(mktemp -d /tmp/velmor-probe-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # file text
  if ! grep -qxF -- "$2" "$1"; then
    echo "FAIL: expected the line '$2' in $(basename "$1"):" >&2
    sed 's/^/  | /' "$1" >&2
    failures=$((failures + 1))
  fi
}
expect_match() {  # file extended-regex
  if ! grep -qE -- "$2" "$1"; then
    echo "FAIL: expected a line matching '$2' in $(basename "$1"):" >&2
    sed 's/^/  | /' "$1" >&2
    failures=$((failures + 1))
  fi
}
expect_status() {  # actual expected what
  if [ "$1" -ne "$2" ]; then
    echo "FAIL: $3 exited with $1, expected $2" >&2
    failures=$((failures + 1))
  fi
}

input=$'hello\n!binary raw bytes\n{"type":"x","text":"Zo\xc3\xab"}\n!close 4000 done'
for mode in default compat; do
  args=()
  [ $mode = compat ] && args=(--compat)
  # No host argument: the build's service host, localhost here.
  printf '%s\n' "$input" | wine "$probe" "${args[@]}" >"$work/$mode.out" 2>"$work/$mode.err"
  expect_status $? 0 "the probe ($mode)"
  expect "$work/$mode.out" "text 5: hello"
  expect "$work/$mode.out" "binary 9: raw bytes"
  expect "$work/$mode.out" $'text 26: {"type":"x","text":"Zo\xc3\xab"}'
  expect "$work/$mode.out" "close 0: "
done
expect "$work/default.err" "velmor-probe: connected to localhost over WinHTTP"
expect "$work/compat.err" "velmor-probe: connected to localhost over the compatibility transport"

# The server drops the connection while standard input stays open: the probe
# must notice on its receiving side, say why and end, not wait for input.
mkfifo "$work/input"
for mode in default compat; do
  args=()
  [ $mode = compat ] && args=(--compat)
  (printf '!drop\n'; exec sleep 120) >"$work/input" &
  writer=$!
  timeout 60 wine "$probe" "${args[@]}" <"$work/input" >"$work/drop-$mode.out" 2>"$work/drop-$mode.err"
  status=$?
  kill "$writer" 2>/dev/null
  wait "$writer" 2>/dev/null
  expect_status $status 1 "the probe ($mode) whose server dropped the connection"
done
# WinHTTP's code for a dropped connection differs between implementations.
expect_match "$work/drop-default.err" '^velmor-probe: WebSocket receive failed \([0-9]+\)$'
expect "$work/drop-compat.err" "velmor-probe: The server closed the connection."

# Nothing listens on 127.0.0.2:443: the open fails with the transport's text.
wine "$probe" --compat 127.0.0.2 </dev/null >"$work/refused.out" 2>"$work/refused.err"
expect_status $? 1 "the probe against a closed port"
expect "$work/refused.err" "velmor-probe: Could not open the secure server connection (Winsock 10061)"

if [ $failures -ne 0 ]; then
  echo "probe_check: $failures failure(s)" >&2
  exit 1
fi
echo "probe_check: all checks passed"
