#!/usr/bin/env bash
# Runs the transport echo benchmark: builds nothing, expects both presets built
# (build/native/bin/tls_test_peer, build/windows/bin/transport_echo_bench.exe),
# starts its own Wine session and the native OpenSSL echo peer on
# 127.0.0.1:443, prints the figures, and tears everything down. Arguments go
# to the benchmark: --long runs each measurement 10 s instead of 2 s.
#
#   bench/transport_echo_bench.sh [--long]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}
certs=$root/certs

work=$(mktemp -d /tmp/velmor-bench.XXXXXX)
source "$root/scripts/lib/wine_session.sh"
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start "$work" || { echo "could not start the Wine session" >&2; exit 1; }

"$root/tests/transport/with_test_peer.sh" "$build_root/native/bin/tls_test_peer" \
  --cert "$certs/server.crt" --key "$certs/server.key" \
  -- "$build_root/windows/bin/transport_echo_bench.exe" "$@"
