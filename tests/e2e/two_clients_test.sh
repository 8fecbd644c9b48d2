#!/usr/bin/env bash
# End-to-end: two people, Alpha and Bravo, each in a real VelmorChat.exe with
# a Wine prefix (and so a wineserver) of its own, side by side on one X
# display, driven only by X input. Alpha creates a room and Bravo joins it,
# they chat, Alpha hands Bravo the host role and Bravo kicks Alpha, they
# exchange direct messages, Bravo blocks Alpha and Alpha's next direct
# message fails. Every step is checked in the server's request record and in
# the clients' logs, not only in pictures.
#
# Needs the local server without its demo bots: the rosters then hold just
# the two of them and the room list just Alpha's room.
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

# The screen holds both main windows (1480 x 940 at 96 DPI) side by side and
# the direct-message windows below them, so that no window covers another's
# controls; the message banner opens in its bottom right corner, clear of
# all of them.
readonly kScreen=3000x1600 kScreenWidth=3000 kScreenHeight=1600
declare -A kMainAt=([Alpha]="0 0" [Bravo]="1520 0")
declare -A kConversationAt=([Alpha]="0 960" [Bravo]="1520 960")

# Places in a main window's client area (1472 x 913 at 96 DPI, Graphite
# Dark), "x y":
readonly kIdentityBox="460 47"      # header: the right end of the name box (kFrameBackground)
readonly kRailPeople="116 222"      # rail button "02 People"
readonly kRailRooms="116 371"       # rail button "05 Rooms"
readonly kNeutralSpot="700 600"     # empty space on the chat, people and rooms pages
readonly kRoomNameBox="354 208"     # rooms page: the "Room name" box
readonly kCreateRoom="900 208"      # rooms page: "Create & join"
readonly kRoomsRefresh="432 293"    # rooms page: "Refresh" beside "Available rooms"
readonly kRoomsHeader="800 321"     # rooms page: the room table's header row
readonly kFirstRoom="268 341"       # rooms page: the first row of the room table
readonly kJoinRoom="315 825"        # rooms page: "Join selected room"
readonly kMessageButton="390 840"   # people page: "Message" on the selected-player card
readonly kRosterX=290 kRosterTop=226 kRosterPitch=25  # people page: the rows, in the server's order
readonly kRowAlpha=0 kRowBravo=1    # the server lists people in the order they arrived
# Room chat page: the composer, drawn in kFrameBackground, and its left end
# ("x y width height"), where its text cursor shows once it has the keyboard.
readonly kComposer="1000 834"
readonly kComposerStart="224 822 36 24"
# The player pop-up opens at the pointer; its items, from where it opened:
readonly kPopupBlock="70 104"       # "Block on server"
readonly kPopupTransfer="60 138"    # "Transfer host"
readonly kPopupKick="65 163"        # "Kick from room"
readonly kPopupPadding="4 60"       # its left padding, in kPopupBackground once drawn
readonly kPopupBackground="18,23,33"
readonly kTableHeader="48,48,51"
readonly kFrameBackground="27,34,46"
# The direct-message window's layout at 96 DPI: margin, row height, gap and
# button width (its transcript fills the window above the input row).
readonly kDmMargin=14 kDmRow=34 kDmGap=8 kDmButton=94

declare -A prefix pid window
shots=${VELMOR_ARTIFACTS:-$e2e_root/artifacts/screenshots}

# --- the two clients -----------------------------------------------------------

in_prefix() {  # who command...
  (export WINEPREFIX=${prefix[$1]}; "${@:2}")
}

stop_both() {
  local who
  for who in Alpha Bravo; do
    [ -n "${pid[$who]:-}" ] && kill "${pid[$who]}" 2>/dev/null
  done
  # Bravo's wineserver is not the session's own: it goes before the work
  # folder that holds its prefix.
  if [ -n "${prefix[Bravo]:-}" ]; then
    in_prefix Bravo wineserver -k >/dev/null 2>&1
    in_prefix Bravo wineserver -w >/dev/null 2>&1
  fi
  e2e_stop_session
}
trap stop_both EXIT

# Bravo's prefix gets a wineserver of its own on the session's display.
start_second_prefix() {
  prefix[Bravo]=$E2E_WORK/bravo/wineprefix
  (VELMOR_USE_DISPLAY=1 wine_session_start "$E2E_WORK/bravo") || return 1
}

start_client() {  # who
  in_prefix "$1" client_prefix_prepare "$1"
  (export WINEPREFIX=${prefix[$1]}; exec wine "$VELMOR_CLIENT_EXE") >"$E2E_WORK/$1.out" 2>&1 &
  pid[$1]=$!
}

log_of() { in_prefix "$1" client_log_path; }

# Lines of WHO's log that end in TEXT (the log ends its lines with CR LF):
# "WS RX: dm" counts direct messages, not their acknowledgements.
log_count() {  # who text
  local count
  count=$(grep -c -- "$2"$'\r*$' "$(log_of "$1")" 2>/dev/null)
  echo "${count:-0}"
}

log_reaches() {  # who text count
  [ "$(log_count "$1" "$2")" -ge "$3" ]
}

# The visible top-level X window of WHO's process whose title matches TITLE.
window_of() {  # who title-regex
  xdotool search --all --onlyvisible --pid "${pid[$1]}" --name "$2" 2>/dev/null | head -n 1
}

window_gone() { [ -z "$(window_of "$1" "$2")" ]; }

found_window() {  # variable who title-regex: sets the variable when the window is there
  local id
  id=$(window_of "$2" "$3")
  [ -n "$id" ] && printf -v "$1" '%s' "$id"
}

geometry() {  # window -> "x y width height" of its client area
  xdotool getwindowgeometry --shell "$1" 2>/dev/null |
    awk -F= '/^X=/ {x = $2} /^Y=/ {y = $2} /^WIDTH=/ {w = $2} /^HEIGHT=/ {h = $2} END {print x, y, w, h}'
}

placed_at() {  # window x y
  local x y
  read -r x y _ <<<"$(geometry "$1")"
  [ "$x" = "$2" ] && [ "$y" = "$3" ]
}

place() {  # window x y
  xdotool windowmove "$1" "$2" "$3"
  e2e_wait_until 30 placed_at "$1" "$2" "$3"
}

# Whether one of WHO's windows has its top left corner under the pointer (a
# native pop-up menu opens there).
menu_at_pointer() {  # who
  local at w x y
  at=$(xdotool getmouselocation --shell | awk -F= '/^X=/ {x = $2} /^Y=/ {y = $2} END {print x, y}')
  for w in $(xdotool search --onlyvisible --pid "${pid[$1]}" 2>/dev/null); do
    read -r x y _ <<<"$(geometry "$w")"
    [ "$x $y" = "$at" ] && return 0
  done
  return 1
}

# --- input ---------------------------------------------------------------------

# Keyboard input goes to the X window under the pointer (no window manager),
# and from there to the window that has the focus in that client's own Wine:
# typing into a window starts with a click into it.
click_in() {  # window "dx dy" [button]
  local x y
  read -r x y _ <<<"$(geometry "$1")"
  set -- "$1" $2 "${3:-1}"
  xdotool mousemove $((x + $2)) $((y + $3)) click "$4"
}

type_text() { xdotool type --delay 40 -- "$1"; }

pixel_in() {  # window "dx dy" -> r,g,b
  local x y
  read -r x y _ <<<"$(geometry "$1")"
  set -- "$1" $2
  e2e_pixel $((x + $2)) $((y + $3))
}

pixel_is() { [ "$(pixel_in "$1" "$2")" = "$3" ]; }

# The area "dx dy width height" of WINDOW from the screen, in black and
# white: white where it is bright (text, a text cursor) on the themes' dark
# backgrounds.
ink_of() {  # window "dx dy width height"
  local x y
  read -r x y _ <<<"$(geometry "$1")"
  set -- "$1" $2
  import -window root -crop "$4x$5+$((x + $2))+$((y + $3))" miff:- 2>/dev/null |
    convert - +repage -colorspace gray -threshold 50% miff:-
}

has_ink() {  # window "dx dy width height"
  [ "$(ink_of "$1" "$2" | convert - -format '%[fx:maxima]' info: 2>/dev/null)" = 1 ]
}

has_no_ink() {  # window "dx dy width height"
  [ "$(ink_of "$1" "$2" | convert - -format '%[fx:maxima]' info: 2>/dev/null)" = 0 ]
}

# The number of text lines in the area "dx dy width height" of WINDOW: the
# runs of rows with any ink in them.
text_lines() {  # window "dx dy width height"
  ink_of "$1" "$2" | convert - -scale "1x${2##* }!" -depth 16 txt:- 2>/dev/null |
    awk 'NR > 1 {ink = ($NF != "gray(0)"); if (ink && !inside) lines++; inside = ink} END {print lines + 0}'
}

roster_row() {  # index -> "x y" of that row on the people page
  echo "$kRosterX $((kRosterTop + $1 * kRosterPitch))"
}

# Right-clicks a roster row of WHO's main window and picks ITEM ("dx dy" from
# the row) once the pop-up is drawn.
player_popup() {  # who row item
  local main=${window[$1]} x y dx dy
  read -r x y <<<"$(roster_row "$2")"
  click_in "$main" "$x $y" 3
  read -r dx dy <<<"$kPopupPadding"
  e2e_wait_until 60 pixel_is "$main" "$((x + dx)) $((y + dy))" "$kPopupBackground" ||
    { e2e_fail "$1: the player pop-up did not open"; return 1; }
  read -r dx dy <<<"$3"
  click_in "$main" "$((x + dx)) $((y + dy))"
}

# Answers WHO's Yes/No box titled TITLE with Yes (Alt+Y: the boxes default
# to No), pointing at the box so that the keys reach its client.
answer_yes() {  # who title
  local box=
  e2e_wait_until 60 found_window box "$1" "^$2\$" || { e2e_fail "$1: no \"$2\" box"; return 1; }
  local x y w h
  read -r x y w h <<<"$(geometry "$box")"
  xdotool mousemove $((x + w / 2)) $((y + h / 2))
  xdotool key alt+y
  e2e_wait_until 60 window_gone "$1" "^$2\$" || e2e_fail "$1: the \"$2\" box stayed open"
}

composer_has_cursor() {  # window
  pixel_is "$1" "$kComposer" "$kFrameBackground" && has_ink "$1" "$kComposerStart"
}

# Ctrl+L, then the line and Enter once the composer shows its cursor.
say_in_room() {  # who text
  local main=${window[$1]}
  click_in "$main" "$kNeutralSpot"
  xdotool key ctrl+l
  e2e_wait_until 60 composer_has_cursor "$main" || { e2e_fail "$1: Ctrl+L did not focus the composer"; return 1; }
  type_text "$2"
  xdotool key Return
}

# Places in a conversation window (its size is given): the input box, the
# middle of its text (clear of a caret at its start) and the transcript.
dm_input() { echo "60 $(($2 - 2 * kDmMargin - kDmRow + kDmGap + kDmRow / 2))"; }
dm_input_text() { echo "$((kDmMargin + 26)) $(($2 - 2 * kDmMargin - kDmRow + kDmGap + 4)) 160 $((kDmRow - 8))"; }
dm_transcript() { echo "$((kDmMargin + 6)) $((kDmMargin + 3)) $(($1 - 2 * kDmMargin - 40)) $(($2 - 3 * kDmMargin - kDmRow - 12))"; }

say_in_conversation() {  # window text
  local w h
  read -r _ _ w h <<<"$(geometry "$1")"
  click_in "$1" "$(dm_input "$w" "$h")"
  type_text "$2"
  xdotool key Return
}

# --- the server's record -------------------------------------------------------

# How many requests from USER of TYPE the server recorded whose members have
# the given values ("member=?" asks for any non-empty value).
request_count() {  # user type [member=value...]
  e2e_control /requests | python3 -c '
import json, sys
user, kind, wanted = sys.argv[1], sys.argv[2], [a.split("=", 1) for a in sys.argv[3:]]
count = 0
for line in sys.stdin:
    if not line.strip():
        continue
    record = json.loads(line)
    if record.get("user") != user or record.get("type") != kind:
        continue
    body = json.loads(record["text"])
    if all(body.get(k) not in (None, "") if v == "?" else body.get(k) == v for k, v in wanted):
        count += 1
print(count)' "$@"
}

requests_reach() {  # count user type [member=value...]
  [ "$(request_count "${@:2}")" -ge "$1" ]
}

# USER's requests in order, pings left out, as "type,type,...".
request_sequence() {
  e2e_request_types "$1" | grep -vx ping | paste -sd, -
}

screenshot_window() {  # window name
  mkdir -p "$shots"
  import -window root -crop "$(geometry "$1" | awk '{print $3 "x" $4 "+" $1 "+" $2}')" +repage "$shots/$2.png" &&
    echo "screenshot: $shots/$2.png"
}

# --- the scenario --------------------------------------------------------------

room=Harbor
e2e_control /reset >/dev/null || { e2e_fail "the local server's control interface does not answer"; exit 1; }
e2e_start_session "$kScreen" || exit 1
prefix[Alpha]=$WINEPREFIX
start_second_prefix || { e2e_fail "no second Wine session on the display"; exit 1; }

# One at a time, so that the server lists Alpha first and Bravo second.
for who in Alpha Bravo; do
  start_client "$who"
  e2e_check "$who connects (its first lists handled)" e2e_wait_until 180 log_reaches "$who" "WS RX: blocked_users" 1
  e2e_wait_until 60 found_window "window[$who]" "$who" '^Velmor Chat .* Studio$' ||
    { e2e_fail "$who: no main window on the display"; exit 1; }
  place "${window[$who]}" ${kMainAt[$who]} || { e2e_fail "$who's main window does not move to ${kMainAt[$who]}"; exit 1; }
  e2e_check "$who's main window draws its workspace at ${kMainAt[$who]}" \
    e2e_wait_until 60 pixel_is "${window[$who]}" "$kIdentityBox" "$kFrameBackground"
done
alpha=${window[Alpha]} bravo=${window[Bravo]}
e2e_check "the two main windows are different windows" [ "$alpha" != "$bravo" ]
e2e_check "the server has both online, Alpha first" [ "$(e2e_control /users | tr -d ' \n')" = '["Alpha","Bravo"]' ]

echo "== 1. Alpha creates a room on the rooms page"
click_in "$alpha" "$kRailRooms"
click_in "$alpha" "$kRoomNameBox"
type_text "$room"
click_in "$alpha" "$kCreateRoom"
e2e_check "the server receives create_room for $room from Alpha" \
  e2e_wait_until 60 requests_reach 1 Alpha create_room room_name="$room"
e2e_check "and join_room for $room" e2e_wait_until 60 requests_reach 1 Alpha join_room room="$room"
e2e_check "in that order (got $(request_sequence Alpha))" eval '[[ "$(request_sequence Alpha)" == *create_room,join_room* ]]'
e2e_check "Alpha's log shows the room joined" e2e_wait_until 60 log_reaches Alpha "WS RX: room_joined" 1

echo "== 2. Bravo joins it from the rooms page (reached through Ctrl+K)"
click_in "$bravo" "$kNeutralSpot"
xdotool key ctrl+k
# The quick-navigation menu opens at the pointer: Rooms is its fifth item.
e2e_check "Ctrl+K opens the quick-navigation menu at the pointer" e2e_wait_until 60 menu_at_pointer Bravo
xdotool key Down Down Down Down Down Return
e2e_check "the menu's Rooms item opens the rooms page" e2e_wait_until 60 pixel_is "$bravo" "$kRoomsHeader" "$kTableHeader"
# Every room list refills the table and drops its selection: the row is
# clicked once each list asked for (Refresh's and any earlier) has arrived.
asked_before=$(request_count Bravo list_rooms)
click_in "$bravo" "$kRoomsRefresh"
room_lists_answered() {
  local asked
  asked=$(request_count Bravo list_rooms)
  [ "$asked" -gt "$asked_before" ] && log_reaches Bravo "WS RX: rooms_list" "$asked"
}
e2e_check "Refresh brings the room list" e2e_wait_until 60 room_lists_answered
e2e_check "the room table shows $room" e2e_wait_until 60 has_ink "$bravo" "${kFirstRoom% *} $((${kFirstRoom#* } - 8)) 300 16"
click_in "$bravo" "$kFirstRoom"
click_in "$bravo" "$kJoinRoom"
if ! e2e_wait_until 60 requests_reach 1 Bravo join_room room="$room"; then
  e2e_fail "the server receives join_room for $room from Bravo"
  [ -n "$(window_of Bravo '^Join room$')" ] &&
    e2e_fail "Bravo's client says no room is selected although the row was clicked"
else
  echo "ok: the server receives join_room for $room from Bravo"
fi
e2e_check "Bravo's log shows the room joined" e2e_wait_until 60 log_reaches Bravo "WS RX: room_joined" 1
e2e_check "Alpha's log shows Bravo arriving in the room" e2e_wait_until 60 log_reaches Alpha "WS RX: user_joined_room" 1
e2e_screenshot two-clients-1-room-joined

echo "== 3. They chat in the room"
say_in_room Alpha "Hello from Alpha"
e2e_check "the server receives Alpha's line" e2e_wait_until 60 requests_reach 1 Alpha message text="Hello from Alpha"
say_in_room Bravo "Hello from Bravo"
e2e_check "the server receives Bravo's line" e2e_wait_until 60 requests_reach 1 Bravo message text="Hello from Bravo"
for who in Alpha Bravo; do
  e2e_check "$who's log shows both lines arriving" e2e_wait_until 60 log_reaches "$who" "WS RX: message" 2
done
e2e_screenshot two-clients-2-room-chat

echo "== 4. Alpha hands the host role to Bravo"
click_in "$alpha" "$kRailPeople"
player_popup Alpha "$kRowBravo" "$kPopupTransfer" && answer_yes Alpha "Transfer room host"
e2e_check "the server receives transfer_host to Bravo from Alpha" \
  e2e_wait_until 60 requests_reach 1 Alpha transfer_host to=Bravo
e2e_check "Alpha's log shows the server's answer" e2e_wait_until 60 log_reaches Alpha "WS RX: host_action_result" 1
e2e_check "Bravo's log shows the new host" e2e_wait_until 60 log_reaches Bravo "WS RX: host_changed" 1

echo "== 5. Bravo kicks Alpha"
click_in "$bravo" "$kRailPeople"
player_popup Bravo "$kRowAlpha" "$kPopupKick" && answer_yes Bravo "Kick room member"
e2e_check "the server receives kick_user for Alpha from Bravo" \
  e2e_wait_until 60 requests_reach 1 Bravo kick_user username=Alpha
e2e_check "Alpha's log shows the kick" e2e_wait_until 60 log_reaches Alpha "WS RX: kicked_from_room" 1

# Alpha's log is filled past its rotation size here: the lines so far go to
# the rotated file, the direct messages' lines to a new one, and the privacy
# check at the end reads both.
head -c $((4 * 1024 * 1024)) /dev/zero | tr '\0' '.' >>"$(log_of Alpha)"
printf '\r\n' >>"$(log_of Alpha)"

echo "== 6. Alpha writes to Bravo from the people page"
# The kick took Alpha to the rooms page.
click_in "$alpha" "$kRailPeople"
click_in "$alpha" "$(roster_row "$kRowBravo")"
click_in "$alpha" "$kMessageButton"
e2e_check "Message opens Alpha's conversation window with Bravo" \
  e2e_wait_until 60 found_window "window[AlphaDm]" Alpha '^Direct message .* Bravo$'
alpha_dm=${window[AlphaDm]:-}
[ -n "$alpha_dm" ] || exit 1
place "$alpha_dm" ${kConversationAt[Alpha]} || e2e_fail "Alpha's conversation window does not move"
say_in_conversation "$alpha_dm" "Hi Bravo, a private line"
e2e_check "Bravo's message banner shows up" e2e_wait_until 60 found_window "window[Toast]" Bravo '^Velmor Chat Notification$'
toast=${window[Toast]:-}
if [ -n "$toast" ]; then
  # Where it lies first: the banner hides itself after a few seconds, and a
  # screenshot on a loaded machine can take that long.
  read -r tx ty tw th <<<"$(geometry "$toast")"
  screenshot_window "$toast" two-clients-3-banner
  e2e_check "the banner lies in the screen's bottom right corner ($tw x $th at $tx, $ty)" \
    eval '[ $((tx + tw)) -le $kScreenWidth ] && [ $((tx + tw)) -ge $((kScreenWidth - 100)) ] &&
          [ $((ty + th)) -le $kScreenHeight ] && [ $((ty + th)) -ge $((kScreenHeight - 100)) ]'
  # A click opens the conversation (the banner lives a few seconds; if it
  # has gone already, the click meets the bare screen).
  xdotool mousemove $((tx + tw / 2)) $((ty + th / 2)) click 1
fi
e2e_check "the server receives Alpha's direct message to Bravo with a request id" \
  e2e_wait_until 60 requests_reach 1 Alpha dm to=Bravo text="Hi Bravo, a private line" request_id=?
e2e_check "Alpha's log shows the acknowledgement" e2e_wait_until 60 log_reaches Alpha "WS RX: dm_sent" 1
e2e_check "Bravo's log shows the message" e2e_wait_until 60 log_reaches Bravo "WS RX: dm" 1

echo "== 7. Bravo answers in the conversation window"
e2e_check "Bravo has a conversation window with Alpha" \
  e2e_wait_until 60 found_window "window[BravoDm]" Bravo '^Direct message .* Alpha$'
bravo_dm=${window[BravoDm]:-}
[ -n "$bravo_dm" ] || exit 1
e2e_check "the banner is gone" e2e_wait_until 60 window_gone Bravo '^Velmor Chat Notification$'
place "$bravo_dm" ${kConversationAt[Bravo]} || e2e_fail "Bravo's conversation window does not move"
say_in_conversation "$bravo_dm" "Hello Alpha, got it"
e2e_check "the server receives Bravo's answer" \
  e2e_wait_until 60 requests_reach 1 Bravo dm to=Alpha text="Hello Alpha, got it" request_id=?
e2e_check "Bravo's log shows the acknowledgement" e2e_wait_until 60 log_reaches Bravo "WS RX: dm_sent" 1
read -r _ _ dm_width dm_height <<<"$(geometry "$bravo_dm")"
e2e_check "the acknowledged line leaves Bravo's input box" \
  e2e_wait_until 60 has_no_ink "$bravo_dm" "$(dm_input_text "$dm_width" "$dm_height")"
e2e_check "Alpha's log shows the answer" e2e_wait_until 60 log_reaches Alpha "WS RX: dm" 1
read -r _ _ dm_width dm_height <<<"$(geometry "$alpha_dm")"
transcript_area=$(dm_transcript "$dm_width" "$dm_height")
e2e_check "Alpha's conversation shows three lines (heading, sent, answer)" \
  e2e_wait_until 60 eval '[ "$(text_lines "$alpha_dm" "$transcript_area")" -eq 3 ]'
e2e_screenshot two-clients-4-conversations

echo "== 8. Bravo blocks Alpha"
click_in "$bravo" "$kRailPeople"
player_popup Bravo "$kRowAlpha" "$kPopupBlock" && answer_yes Bravo "Server block"
e2e_check "the server receives block_user for Alpha from Bravo" \
  e2e_wait_until 60 requests_reach 1 Bravo block_user username=Alpha
e2e_check "Bravo's log shows the block confirmed" e2e_wait_until 60 log_reaches Bravo "WS RX: block_updated" 1

echo "== 9. Alpha's next direct message fails"
errors_before=$(log_count Alpha "WS RX: error")
say_in_conversation "$alpha_dm" "Are you still there?"
e2e_check "the server receives the line" \
  e2e_wait_until 60 requests_reach 1 Alpha dm to=Bravo text="Are you still there?" request_id=?
e2e_check "Alpha's log shows the server's refusal" \
  e2e_wait_until 60 log_reaches Alpha "WS RX: error" $((errors_before + 1))
e2e_check "the conversation shows a fourth line, the failure" \
  e2e_wait_until 60 eval '[ "$(text_lines "$alpha_dm" "$transcript_area")" -eq 4 ]'
e2e_check "the unsent line stays in the input box" has_ink "$alpha_dm" "$(dm_input_text "$dm_width" "$dm_height")"
e2e_check "no second acknowledgement reached Alpha" [ "$(log_count Alpha "WS RX: dm_sent")" -eq 1 ]
e2e_check "Bravo received no second message" [ "$(log_count Bravo "WS RX: dm")" -eq 1 ]
screenshot_window "$alpha_dm" two-clients-5-dm-failed
e2e_screenshot two-clients-6-end

for who in Alpha Bravo; do
  in_prefix "$who" wine taskkill /im VelmorChat.exe >/dev/null 2>&1 </dev/null
  code=0
  wait "${pid[$who]}" || code=$?
  pid[$who]=
  e2e_check "$who's client closes with exit code 0 (got $code)" [ "$code" -eq 0 ]
done
echo "== 10. Nothing anyone wrote is in the files the clients left"
# Every file in each prefix's user folders (the log, the rotated log, the
# settings) and an export of the user's registry hive; the log's own lines
# show the files were read.
secrets=("Hello from Alpha" "Hello from Bravo" "Hi Bravo, a private line" "Hello Alpha, got it" "Are you still there?")
e2e_check "Alpha's log was rotated during the scenario and both parts hold its lines" \
  eval 'grep -q "WS RX: room_joined" "$(log_of Alpha).1" && grep -q "WS TX: dm" "$(log_of Alpha)"'
for who in Alpha Bravo; do
  scan=$E2E_WORK/$who-scan
  mkdir -p "$scan"
  in_prefix "$who" wine reg export HKCU "$(in_prefix "$who" winepath -w "$scan/hkcu.reg")" /y >/dev/null 2>&1 </dev/null
  iconv -f UTF-16LE -t UTF-8 "$scan/hkcu.reg" >"$scan/hkcu.txt" 2>/dev/null
  e2e_check "$who's registry export names the user" grep -q '"Username"="'"$who"'"' "$scan/hkcu.txt"
  user_files="${prefix[$who]}/drive_c/users"
  e2e_check "$who's files include the log of the scenario" grep -rqa "WS TX: dm" "$user_files"
  for secret in "${secrets[@]}"; do
    hits=$(grep -rlaF -- "$secret" "$user_files" "$scan/hkcu.txt" "${prefix[$who]}"/*.reg 2>/dev/null)
    e2e_check "no file of $who holds \"$secret\"" [ -z "$hits" ]
    [ -n "$hits" ] && echo "$hits" | sed 's/^/  found in: /' >&2
  done
done
exit $E2E_FAILED
