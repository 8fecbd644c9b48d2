#!/usr/bin/env bash
# End-to-end: the real client under Wine against the local server. Each
# scenario gets a fresh Wine prefix (a clean registry and log folder) and an
# X display of its own: other test programs of the run open windows on the
# run's display, which would land in the screenshots and under the clicks.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

has_request() {  # user type
  e2e_request_types "$1" | grep -qx "$2"
}

has_requests() {  # user count
  [ "$(e2e_request_types "$1" | wc -l)" -ge "$2" ]
}

scenario_stored_name_connects_by_itself() {
  echo "== a stored name connects without the user doing anything"
  e2e_control /reset >/dev/null
  e2e_start_session 1920x1080 || return
  client_prefix_prepare "StoredAmy" 7
  e2e_start_client
  e2e_check "the log shows the start" e2e_wait_for_log "[INFO] Application started" 120
  e2e_check "the client connects by itself" e2e_wait_for_log "WS RX: connected" 120
  e2e_check "the server receives three requests" e2e_wait_until 60 has_requests StoredAmy 3
  local types
  types=$(e2e_request_types StoredAmy | head -n 3 | paste -sd, -)
  e2e_check "the server receives list_users, list_rooms, list_blocked in order (got: $types)" \
    [ "$types" = "list_users,list_rooms,list_blocked" ]

  # A stored UiTheme of 7 is out of range: Graphite Dark, whose child
  # background (0.075, 0.095, 0.125) covers most of the workspace.
  local colour
  colour=$(e2e_screenshot_until_dominant "stored-theme-7" "19,24,32")
  e2e_check "a stored UiTheme of 7 starts in Graphite Dark (dominant colour $colour)" \
    [ "$colour" = "19,24,32" ]

  local code=0
  e2e_close_client || code=$?
  e2e_check "closing the window exits with code 0 (got $code)" [ "$code" -eq 0 ]
  e2e_check "closing logs the shutdown" e2e_log_has "[INFO] Application shutting down"
  e2e_stop_session
}

scenario_typed_name_connects() {
  echo "== a name typed into the header's identity box connects on Enter"
  e2e_control /reset >/dev/null
  e2e_start_session 1920x1080 || return
  client_prefix_prepare ""
  e2e_start_client
  e2e_check "the client starts" e2e_wait_for_log "[INFO] Application started" 120
  sleep 3
  e2e_check "nothing connects without a name" [ -z "$(e2e_control /users | tr -d '[] \n')" ]
  local window
  window=$(e2e_main_window)
  e2e_check "the main window is on the display" [ -n "$window" ]
  # In the header, the identity box is the only area drawn in the frame
  # background colour of the Graphite Dark theme (0.105, 0.135, 0.18; the
  # pages' boxes below share it): click into it and type.
  local box geometry header_bottom
  geometry=$(e2e_client_geometry)
  header_bottom=$(( $(echo "$geometry" | cut -d' ' -f2) + 80 ))
  # Found once the window has drawn its first frames.
  e2e_wait_until 120 eval 'box=$(e2e_colour_box_centre "27,34,46" "$header_bottom")'
  e2e_check "the identity box is on the screen" [ -n "$box" ]
  xdotool mousemove $box click 1
  sleep 0.5
  xdotool type --delay 60 "TypedBob"
  sleep 0.3
  xdotool key Return
  e2e_check "Enter in the identity box connects" e2e_wait_for_log "WS RX: connected" 120
  e2e_check "the server receives list_users from the typed name" e2e_wait_until 60 has_request TypedBob list_users
  e2e_close_client || true
  e2e_stop_session
}

scenario_stored_name_connects_by_itself
scenario_typed_name_connects
exit $E2E_FAILED
