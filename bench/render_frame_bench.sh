#!/usr/bin/env bash
# Runs render_frame_bench.exe under Wine against the local server (port 443
# must be free), in a fresh prefix with a stored name so that it connects.
# Arguments go to the benchmark: --long draws 300 real frames and builds
# frames for 10 s a page and community instead of 60 and 2 s.
#
#   bench/render_frame_bench.sh [--long]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}
source "$root/scripts/lib/wine_session.sh"
source "$root/scripts/lib/client_prefix.sh"
work=$(mktemp -d /tmp/velmor-bench.XXXXXX)
trap 'wine_session_stop; rm -rf "$work"' EXIT
[ -n "${DISPLAY:-}" ] && export VELMOR_USE_DISPLAY=1
wine_session_start "$work"
client_prefix_prepare "BenchUser"
VELMOR_NATIVE_BIN_DIR="$build_root/native/bin" \
  "$root/scripts/lib/with_local_server.sh" --demo -- "$build_root/windows/bin/render_frame_bench.exe" "$@"
