#!/usr/bin/env bash
# End-to-end: the release files in a fresh Wine prefix, against the local
# server. Makes the portable archive and the installer from the run's build
# (scripts/lib/make_release.sh, as scripts/package does), and a "newer"
# installer of the same programs with the patch number raised. Then:
#   - the sums match; the archive holds the programs, the read-me and the notices;
#   - the archive's client, unzipped outside the build tree, starts and connects;
#   - a silent install puts the files, the Start menu shortcut and the uninstall
#     entry in place, and the shortcut's target starts and connects;
#   - the newer installer refuses while the client runs and changes nothing,
#     then, with the client closed, upgrades in place and keeps the settings;
#   - a silent uninstall removes the files, the shortcut and the entry, and
#     keeps the settings key and the log.
#
# Environment: VELMOR_WINDOWS_BUILD, the built "windows" tree (CTest sets it).
source "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

build=${VELMOR_WINDOWS_BUILD:-$e2e_root/build/windows}
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmorChat'
settings_key='HKCU\Software\VelmorChatClient'

user_online() {  # name: the server lists NAME among its connected users
  e2e_control /users | python3 -c 'import json, sys; sys.exit(sys.argv[1] not in json.load(sys.stdin))' "$1"
}

reg_value() {  # key name: the value's data as "reg query" prints it; fails when absent
  local line
  line=$(wine reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' | grep -E "^ +$2 +REG_") || return 1
  sed -E "s/^ +$2 +REG_[A-Z_]+ +//" <<<"$line"
}

reg_is() {  # key name expected
  local got
  got=$(reg_value "$1" "$2") || got="(absent)"
  [ "$got" = "$3" ] || { echo "  $2 is '$got', expected '$3'" >&2; return 1; }
}

key_absent() { ! wine reg query "$1" >/dev/null 2>&1 </dev/null; }

# The target and working folder of a shell link (MS-SHLLINK: header, item
# list, then LinkInfo with the local base path, then the counted strings).
shortcut_target() {  # file -> "target|working folder"
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
flags = struct.unpack_from("<I", data, 0x14)[0]
pos = 0x4C
if flags & 0x1:  # HasLinkTargetIDList
    pos += 2 + struct.unpack_from("<H", data, pos)[0]
if not flags & 0x2:  # HasLinkInfo
    sys.exit("the shortcut has no LinkInfo")
size, _, _, _, base = struct.unpack_from("<5I", data, pos)
suffix = struct.unpack_from("<I", data, pos + 24)[0]
cstring = lambda at: data[at:data.index(b"\0", at)].decode("latin-1")
target = cstring(pos + base) + cstring(pos + suffix)
pos += size
strings = {}
for bit, name in ((0x4, "name"), (0x8, "relative"), (0x10, "workdir"), (0x20, "args"), (0x40, "icon")):
    if flags & bit:
        count = struct.unpack_from("<H", data, pos)[0]
        strings[name] = data[pos + 2:pos + 2 + 2 * count].decode("utf-16-le").rstrip("\0")
        pos += 2 + 2 * count
print(target + "|" + strings.get("workdir", ""))
PY
}

# Starts PROGRAM (a Windows path) in FOLDER (a Linux path) and keeps its
# process, so that e2e_close_client can close it and take its exit code.
start_in() {  # folder program
  (cd "$1" && exec wine "$2") >"$E2E_WORK/client.out" 2>&1 </dev/null &
  E2E_CLIENT_PID=$!
}

for tool in makensis zip unzip; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done
version=$(sed -n 's/^#define VELMOR_PRODUCT_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/velmor_version.h" 2>/dev/null)
[ -n "$version" ] || { echo "FAIL: no built version in $build/generated/velmor_version.h" >&2; exit 1; }
newer=${version%.*}.$((${version##*.} + 1))

e2e_control /reset >/dev/null || { echo "FAIL: the local server does not answer" >&2; exit 1; }
e2e_start_session 1280x800 || exit 1
# The installer's shortcut must not turn into a desktop menu entry outside the prefix.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

echo "== the release files ($version, and $newer for the upgrade)"
dist="$E2E_WORK/dist"
# The first with the built version (checked against the client's version
# resource), the second told the newer one.
for made in "$dist" "$E2E_WORK/dist-newer $newer"; do
  if ! "$e2e_root/scripts/lib/make_release.sh" "$build" $made >"$E2E_WORK/release.log" 2>&1; then
    cat "$E2E_WORK/release.log" >&2
    e2e_fail "make_release.sh makes the release into $made"
    exit 1
  fi
done
zip_file="$dist/VelmorChat-$version-win64.zip"
setup="$dist/VelmorChat-$version-setup.exe"
newer_setup="$E2E_WORK/dist-newer/VelmorChat-$newer-setup.exe"
e2e_check "both sums match their files" \
  bash -c "cd '$dist' && sha256sum --quiet -c VelmorChat-$version-win64.zip.sha256 VelmorChat-$version-setup.exe.sha256"
listing=$(unzip -Z1 "$zip_file")
for entry in VelmorChat.exe velmor-probe.exe README.txt licenses/THIRD-PARTY-NOTICES.txt licenses/Dear-ImGui.txt \
  licenses/stb.txt licenses/MinGW-w64.txt licenses/GCC-runtime.txt; do
  e2e_check "the archive holds VelmorChat-$version/$entry" grep -qxF "VelmorChat-$version/$entry" <<<"$listing"
done
e2e_check "nothing in the archive lies outside VelmorChat-$version/" \
  bash -c '! grep -qv "^VelmorChat-$1/" <<<"$2"' - "$version" "$listing"

echo "== the archive's client runs from any folder"
portable="$E2E_WORK/unpacked somewhere"
unzip -q "$zip_file" -d "$portable"
client_prefix_prepare "PortablePia"
start_in "$portable/VelmorChat-$version" VelmorChat.exe
e2e_check "the unzipped client connects" e2e_wait_until 180 user_online PortablePia
code=0
e2e_close_client || code=$?
e2e_check "the unzipped client exits with 0 when closed (got $code)" [ "$code" -eq 0 ]

echo "== silent install"
profile="$WINEPREFIX/drive_c/users/$(whoami)"
installed="$profile/AppData/Local/Programs/VelmorChat"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velmor Chat Studio.lnk"
installed_windows=$(winepath -w "$installed" 2>/dev/null)
code=0
wine "$setup" /S </dev/null >/dev/null 2>&1 || code=$?
e2e_check "the installer exits with 0 (got $code)" [ "$code" -eq 0 ]
for file in VelmorChat.exe velmor-probe.exe README.txt Uninstall.exe licenses/THIRD-PARTY-NOTICES.txt; do
  e2e_check "$file is installed" [ -s "$installed/$file" ]
done
e2e_check "the installed client is the archive's" \
  cmp -s "$installed/VelmorChat.exe" "$portable/VelmorChat-$version/VelmorChat.exe"
e2e_check "the Start menu shortcut exists" [ -s "$shortcut" ]
target=$(shortcut_target "$shortcut")
e2e_check "the shortcut starts the installed client in its folder (got $target)" \
  [ "$target" = "$installed_windows\\VelmorChat.exe|$installed_windows" ]
while IFS='|' read -r name value; do
  e2e_check "the uninstall entry's $name is $value" reg_is "$uninstall_key" "$name" "$value"
done <<EOF
DisplayName|Velmor Chat Studio
DisplayVersion|$version
Publisher|Velmor
DisplayIcon|$installed_windows\\VelmorChat.exe,0
InstallLocation|$installed_windows
UninstallString|"$installed_windows\\Uninstall.exe"
QuietUninstallString|"$installed_windows\\Uninstall.exe" /S
EOF
size_kib=$(($(reg_value "$uninstall_key" EstimatedSize || echo 0)))
files_kib=$(find "$installed" -type f -printf '%s\n' | awk '{ total += $1 } END { print int(total / 1024) }')
e2e_check "the entry's EstimatedSize ($size_kib KiB) is the installed files' size ($files_kib KiB)" \
  [ "$size_kib" -ge "$files_kib" -a "$size_kib" -le $((files_kib + files_kib / 10)) ]

echo "== the shortcut's target starts and connects"
# Started as the shell starts a shortcut: its target in its working folder.
# (Under Wine `start /wait` does not wait for a shortcut's program, so the
# test could not tell when it has ended.)
client_prefix_prepare "InstalledIda" 1
start_in "$(winepath -u "${target#*|}" 2>/dev/null)" "${target%|*}"
e2e_check "the client started by the shortcut connects" e2e_wait_until 180 user_online InstalledIda

echo "== upgrade to $newer"
code=0
wine "$newer_setup" /S </dev/null >/dev/null 2>&1 || code=$?
e2e_check "while the client runs the newer installer stops with 3 (got $code)" [ "$code" -eq 3 ]
e2e_check "and leaves the installed version alone" reg_is "$uninstall_key" DisplayVersion "$version"
e2e_check "and the client keeps running" user_online InstalledIda
code=0
e2e_close_client || code=$?
e2e_check "the client exits with 0 when closed (got $code)" [ "$code" -eq 0 ]
code=0
wine "$newer_setup" /S </dev/null >/dev/null 2>&1 || code=$?
e2e_check "with the client closed the newer installer exits with 0 (got $code)" [ "$code" -eq 0 ]
e2e_check "the entry says $newer" reg_is "$uninstall_key" DisplayVersion "$newer"
e2e_check "the entry still points into the same folder" reg_is "$uninstall_key" InstallLocation "$installed_windows"
e2e_check "the files were replaced in place (the read-me names $newer)" \
  grep -q "Velmor Chat Studio $newer" "$installed/README.txt"
e2e_check "the shortcut is still there" [ -s "$shortcut" ]
e2e_check "the stored name survives" reg_is "$settings_key" Username InstalledIda
e2e_check "the stored theme survives" reg_is "$settings_key" UiTheme 0x1

echo "== silent uninstall"
quiet=$(reg_value "$uninstall_key" QuietUninstallString)
uninstaller=$(sed -E 's/^"(.*)" \/S$/\1/' <<<"$quiet")
code=0
wine "$uninstaller" /S </dev/null >/dev/null 2>&1 || code=$?
e2e_check "the uninstaller exits with 0 (got $code)" [ "$code" -eq 0 ]
# The uninstaller runs on from a copy in the temporary folder.
e2e_wait_until 120 eval '[ ! -e "$installed" ] && [ ! -e "$shortcut" ] && key_absent "$uninstall_key"'
e2e_check "the installed folder is gone" [ ! -e "$installed" ]
e2e_check "the shortcut is gone" [ ! -e "$shortcut" ]
e2e_check "the uninstall entry is gone" key_absent "$uninstall_key"
e2e_check "the settings key stays, with the stored name" reg_is "$settings_key" Username InstalledIda
e2e_check "the log stays" [ -s "$(client_log_path)" ]

e2e_stop_session
exit $E2E_FAILED
