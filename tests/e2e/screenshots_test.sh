#!/usr/bin/env bash
# Screenshots of the workspace in each theme at 96 and 192 DPI, with the main
# window at 1480 x 940 and at 800 x 600 (an X screen 32 pixels larger each
# way gives exactly that window at 96 DPI), saved as artifacts for people to
# look at. Checks that each one shows the connected workspace in its theme's
# colours, that the window lies on the screen at the size its placement
# gives, and that the DPI took effect (the header's height in pixels).
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

theme_names=(graphite-dark midnight-blue light-canvas)
# The child background of each theme, which covers most of the workspace.
theme_colours=("19,24,32" "15,22,34" "251,252,254")

# The window each case opens: 1480 x 940 at both scales on the large
# screen; on the small one, at 200 % the minimum tracking size (1360 x 920
# capped to the 832 x 632 work area) is the whole work area.
declare -A window_sizes=([1480x940-96]=1480x940 [1480x940-192]=1480x940 [800x600-96]=800x600
                         [800x600-192]=832x632)

# low <= value <= high
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }

# The placement, the scale and the header of one screenshot.
check_geometry() {  # name shot screen-width screen-height scale window-size theme-colour
  local name=$1 shot=$2 screen_width=$3 screen_height=$4 scale=$5 colour=$7
  local window_width=${6%x*} window_height=${6#*x}
  local geometry x y width height
  geometry=$(e2e_client_geometry) || { e2e_fail "$name: the main window is not on the display"; return; }
  read -r x y width height <<<"$geometry"
  echo "$name: client area ${width}x${height} at ($x, $y)"
  e2e_check "$name: the window lies across the screen" within $((x + width)) "$width" "$screen_width"
  e2e_check "$name: the window lies down the screen" within $((y + height)) "$height" "$screen_height"
  # The frame takes a few pixels a side and the caption about 25 per unit of scale.
  e2e_check "$name: the window is $window_width wide (client $width)" \
    within "$width" $((window_width - 12 * scale)) "$window_width"
  e2e_check "$name: the window is $window_height high (client $height)" \
    within "$height" $((window_height - 30 * scale)) "$window_height"

  # The header child, drawn in the child colour from its top border down:
  # 58 or 67 pixels at 100 %, twice that at 200 %. Measured in its left
  # padding, where nothing is drawn over it.
  local header=$((width < 820 * scale ? 58 * scale : 67 * scale)) run
  run=$(e2e_colour_run_down "$shot" $((x + 22 * scale)) "$y" $((150 * scale)) "$colour")
  e2e_check "$name: the header is $header pixels high (measured $run inside its borders)" \
    within "$run" $((header - 3 - 2 * scale)) "$header"
}

# One Wine session (its X screen and prefix) per screen size: starting one
# costs more than all the runs of the client in it. Each run gets its theme,
# scale and a log file of its own.
for size in 1480x940 800x600; do
  width=${size%x*}
  height=${size#*x}
  e2e_start_session "$((width + 32))x$((height + 32))" || continue
  for dpi in 96 192; do
    for theme in 0 1 2; do
      name="workspace-${theme_names[$theme]}-${dpi}dpi-${size}"
      echo "== $name"
      client_prefix_prepare "Shooter$theme$dpi$width" "$theme" "$dpi"
      rm -f "$(client_log_path)"
      e2e_start_client
      # The last of the first lists handled by the window, then its frames.
      if e2e_wait_for_log "WS RX: blocked_users" 120; then
        colour=$(e2e_screenshot_until_dominant "$name" "${theme_colours[$theme]}")
        shot="${VELMOR_ARTIFACTS:-$e2e_root/artifacts/screenshots}/$name.png"
        e2e_check "$name is drawn in its theme (dominant colour $colour)" [ "$colour" = "${theme_colours[$theme]}" ]
        check_geometry "$name" "$shot" $((width + 32)) $((height + 32)) $((dpi / 96)) \
          "${window_sizes[$size-$dpi]}" "${theme_colours[$theme]}"
      else
        e2e_fail "$name: the client did not connect"
      fi
      e2e_close_client || e2e_fail "$name: the client did not exit cleanly"
    done
  done
  e2e_stop_session
done
exit $E2E_FAILED
