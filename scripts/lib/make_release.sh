#!/usr/bin/env bash
# Makes the release files from a built Windows tree (scripts/package calls it
# after building; the install test calls it on the test run's build):
#
#   make_release.sh BUILD_DIR OUT_DIR [VERSION]
#
# BUILD_DIR  a configured and built "windows" tree (bin/VelmorChat.exe,
#            bin/velmor-probe.exe, generated/velmor_version.h, CMakeCache.txt)
# OUT_DIR    receives VelmorChat-<version>-win64.zip, VelmorChat-<version>-setup.exe
#            and a .sha256 file beside each (sha256sum format)
# VERSION    the version to name the files after. Only for tests, which make a
#            "newer" installer of the same programs; a release takes the
#            version the programs were built with (project(... VERSION) in the
#            top-level CMakeLists.txt, through generated/velmor_version.h).
#
# Both files hold the same folder: the two programs, README.txt for users
# (packaging/README.txt) and licenses/ with the notices of the third-party
# code linked into the programs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() {
  echo "make_release: $*" >&2
  exit 1
}

[ $# -ge 2 ] && [ $# -le 3 ] || { echo "usage: make_release.sh BUILD_DIR OUT_DIR [VERSION]" >&2; exit 2; }
build=$(cd "$1" && pwd) || fail "no build folder $1"
mkdir -p "$2"
out=$(cd "$2" && pwd)

for tool in makensis zip x86_64-w64-mingw32-strip sha256sum; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
client="$build/bin/VelmorChat.exe"
probe="$build/bin/velmor-probe.exe"
for program in "$client" "$probe"; do
  [ -f "$program" ] || fail "$program is missing: build the targets VelmorChat and velmor-probe first"
done

built_version=$(sed -n 's/^#define VELMOR_PRODUCT_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/velmor_version.h" 2>/dev/null)
[ -n "$built_version" ] || fail "$build/generated/velmor_version.h names no version: configure the tree again"
version=${3:-$built_version}
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the version must be three numbers, x.y.z (got '$version')"

# The client's version resource names the version it was built with, which
# names the release (unless a test asks for another).
if [ "$version" = "$built_version" ]; then
  python3 - "$client" "$version" <<'PY' || fail "the version resource of $client does not say $version: build it again"
import re, sys
data = open(sys.argv[1], "rb").read()
# Each value: its key, the key's terminating zero, padding to four bytes, the text.
for key, value in (("ProductVersion", sys.argv[2]), ("FileVersion", sys.argv[2] + ".0")):
    pattern = re.escape((key + "\0").encode("utf-16-le")) + b"(\0\0)?" + re.escape((value + "\0").encode("utf-16-le"))
    if not re.search(pattern, data):
        sys.exit(f"{key} is not {value}")
PY
fi

cache_value() {  # NAME: the value of a cache entry of the build, empty when absent
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"
}
third_party=$(cache_value VELMOR_THIRD_PARTY_DIR)
imgui="${third_party:-$root/third_party}/imgui"
[ -s "$imgui/LICENSE.txt" ] || fail "$imgui/LICENSE.txt is missing (scripts/setup fetches it with the sources)"

work=$(mktemp -d /tmp/velmor-release.XXXXXX)
trap 'rm -rf "$work"' EXIT
name="VelmorChat-$version"
stage="$work/$name"
mkdir -p "$stage/licenses"

# The programs, without their symbol tables (the release does not need them).
x86_64-w64-mingw32-strip -o "$stage/VelmorChat.exe" "$client"
x86_64-w64-mingw32-strip -o "$stage/velmor-probe.exe" "$probe"

# Text files for Windows: CR LF line ends.
windows_text() {  # source destination
  sed 's/\r$//; s/$/\r/' "$1" >"$2"
}
sed "s/@VERSION@/$version/g" "$root/packaging/README.txt" >"$work/README.txt"
windows_text "$work/README.txt" "$stage/README.txt"

# --- Third-party notices --------------------------------------------------------
# What the programs link statically (see the link lines of VelmorChat and
# velmor-probe): Dear ImGui with its stb parts and embedded font, the MinGW-w64
# runtime (C runtime start-up, winpthreads) and GCC's libstdc++ and libgcc;
# the display text's tables come from the Unicode Character Database. Windows
# system libraries are only imported.
package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo unknown; }
notice() {  # file source
  [ -s "$2" ] || fail "$2 is missing: it carries a notice the release must include"
  windows_text "$2" "$stage/licenses/$1"
}
imgui_version=$(sed -n 's/^#define IMGUI_VERSION *"\(.*\)"$/\1/p' "$imgui/imgui.h")
notice Dear-ImGui.txt "$imgui/LICENSE.txt"
sed -n '/^This software is available under 2 licenses/,$p' "$imgui/imstb_truetype.h" | sed '/^\*\/$/d' >"$work/stb.txt"
notice stb.txt "$work/stb.txt"
notice MinGW-w64.txt /usr/share/doc/mingw-w64-x86-64-dev/copyright
notice GCC-runtime.txt /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright
notice GPL-3.txt /usr/share/common-licenses/GPL-3
unicode_data=$(cache_value VELMOR_UNICODE_DATA_DIR)
if [ -n "$unicode_data" ]; then
  notice Unicode-data.txt /usr/share/doc/unicode-data/copyright
fi

{
  cat <<EOF
Third-party software in Velmor Chat Studio $version
======================================================================

VelmorChat.exe and velmor-probe.exe are each a single program file: the
following code is linked into them. Each licence is in this folder.

Dear ImGui $imgui_version (VelmorChat.exe), by Omar Cornut and contributors
    MIT licence: Dear-ImGui.txt
  - stb_truetype, stb_rectpack and stb_textedit, by Sean Barrett, which
    Dear ImGui includes: MIT licence or public domain, stb.txt
  - the ProggyClean font embedded in Dear ImGui: Copyright (c) 2004, 2005
    Tristan Grimmer, MIT licence
  - the list of Japanese glyph ranges in Dear ImGui: from the Joyo and
    Jinmeiyo Kanji lists of the Agency for Cultural Affairs and the Ministry
    of Justice of Japan, under the Creative Commons Attribution 4.0
    International licence (CC BY 4.0)

MinGW-w64 runtime (both programs; Debian package version
    $(package_version mingw-w64-x86-64-dev)): C runtime start-up code and the winpthreads
    threading library. Zope Public License 2.1 and others, as listed file by
    file: MinGW-w64.txt

GCC runtime libraries libstdc++ and libgcc (both programs; Debian package
    version $(package_version g++-mingw-w64-x86-64-posix)). GNU General Public License version 3
    with the GCC Runtime Library Exception, which allows programs compiled
    with GCC to be distributed under terms of their own: GCC-runtime.txt
    (the exception is quoted in it), GPL-3.txt
EOF
  if [ -n "$unicode_data" ]; then
    cat <<EOF

Unicode Character Database (VelmorChat.exe; Debian package version
    $(package_version unicode-data)): the character tables of the display text (Arabic
    shaping, bidirectional order) are generated from it. Unicode License:
    Unicode-data.txt
EOF
  fi
} >"$work/notices.txt"
windows_text "$work/notices.txt" "$stage/licenses/THIRD-PARTY-NOTICES.txt"

# --- Portable archive -------------------------------------------------------------
zip_file="$out/$name-win64.zip"
rm -f "$zip_file"
(cd "$work" && zip -q -X -r -9 "$zip_file" "$name")

# --- Installer -------------------------------------------------------------------
# The uninstaller removes exactly the files staged here (and the folders they
# made, deepest first).
{
  (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
} >"$work/uninstall_list.nsh"
setup_file="$out/$name-setup.exe"
rm -f "$setup_file"
makensis -V2 -NOCD \
  "-DVERSION=$version" "-DSTAGE=$stage" "-DUNINSTALL_LIST=$work/uninstall_list.nsh" \
  "-DICON=$root/src/app/velmor.ico" "-DOUTFILE=$setup_file" \
  "$root/packaging/installer.nsi" || fail "makensis failed"

# --- Checksums ---------------------------------------------------------------------
for file in "$zip_file" "$setup_file"; do
  (cd "$out" && sha256sum "$(basename "$file")" >"$(basename "$file").sha256")
done
echo "make_release: $zip_file"
echo "make_release: $setup_file"
