# Sourced after wine_session_start: prepares the prefix for VelmorChat.exe.
#
#   client_prefix_prepare NAME [THEME [DPI]]
#     NAME   stored as the "Username" value (empty: no name stored)
#     THEME  stored as "UiTheme" when given
#     DPI    Wine's LogPixels (96 = 100 %, 192 = 200 %) when given
#
# Wine has no Segoe UI or Consolas: the client keeps asking for them by name,
# so DejaVu is mapped to those names and placed where the client looks for
# its workspace font, and native texts (Arabic included) render as on Windows.

client_prefix_prepare() {
  local name=$1 theme=${2:-} dpi=${3:-}
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$fonts/segoeui.ttf"

  local reg="$WINEPREFIX/velmor-setup.reg"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"Segoe UI"="DejaVu Sans"\r\n'
    printf '"Consolas"="DejaVu Sans Mono"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\VelmorChatClient]\r\n'
    if [ -n "$name" ]; then
      printf '"Username"="%s"\r\n' "$(printf '%s' "$name" | sed 's/\\/\\\\/g; s/"/\\"/g')"
    fi
    [ -n "$theme" ] && printf '"UiTheme"=dword:%08x\r\n' "$theme"
    printf '\r\n'
    if [ -n "$dpi" ]; then
      printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n'
      printf '"LogPixels"=dword:%08x\r\n\r\n' "$dpi"
    fi
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
  wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1 </dev/null
}

# Where the client writes its log in this prefix.
client_log_path() {
  local user
  user=$(whoami)
  echo "$WINEPREFIX/drive_c/users/$user/AppData/Local/VelmorChat/Logs/client.log"
}
