#!/usr/bin/env bash
# Runs session_bench.exe under Wine in a fresh prefix with its own Xvfb (the
# benchmark makes a hidden window with the main window's controls, which
# Wine cannot do without an X display), then tears the session down. Builds
# nothing: expects build/windows/bin/session_bench.exe. Arguments go to the
# benchmark: --long repeats every case more often, a number sets the roster
# size (default 10,000 names).
#
#   bench/session_bench.sh [--long] [names]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${VELMOR_BUILD_ROOT:-$root/build}

work=$(mktemp -d /tmp/velmor-bench.XXXXXX)
source "$root/scripts/lib/wine_session.sh"
trap 'wine_session_stop; rm -rf "$work"' EXIT
wine_session_start "$work" || { echo "could not start the Wine session" >&2; exit 1; }

wine "$build_root/windows/bin/session_bench.exe" "$@"
