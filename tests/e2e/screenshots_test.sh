#!/usr/bin/env bash
# Screenshots of the workspace in each theme at 96 and 192 DPI, with the main
# window at 1480 x 940 and at 800 x 600 (an X screen 32 pixels larger each
# way gives exactly that window), saved as artifacts for people to look at.
# Checks that each one shows the connected workspace in its theme's colours.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

theme_names=(graphite-dark midnight-blue light-canvas)
# The child background of each theme, which covers most of the workspace.
theme_colours=("19,24,32" "15,22,34" "251,252,254")

dominant_colour() {
  convert "$1" -format %c histogram:info:- 2>/dev/null | sort -rn | head -n 1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}

for size in 1480x940 800x600; do
  width=${size%x*}
  height=${size#*x}
  for dpi in 96 192; do
    for theme in 0 1 2; do
      name="workspace-${theme_names[$theme]}-${dpi}dpi-${size}"
      echo "== $name"
      e2e_start_session "$((width + 32))x$((height + 32))" || continue
      client_prefix_prepare "Shooter$theme$dpi$width" "$theme" "$dpi"
      e2e_start_client
      if e2e_wait_for_log "WS RX: connected" 60; then
        sleep 3  # a few frames after the first lists arrived
        e2e_screenshot "$name"
        colour=$(dominant_colour "${VELMOR_ARTIFACTS:-$e2e_root/artifacts/screenshots}/$name.png")
        e2e_check "$name is drawn in its theme (dominant colour $colour)" [ "$colour" = "${theme_colours[$theme]}" ]
      else
        e2e_fail "$name: the client did not connect"
      fi
      e2e_close_client || e2e_fail "$name: the client did not exit cleanly"
      e2e_stop_session
    done
  done
done
exit $E2E_FAILED
