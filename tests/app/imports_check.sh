#!/usr/bin/env bash
# VelmorChat.exe must start on systems that lack the newer Windows libraries:
# it may import only libraries every supported system has. The shader
# compiler in particular is loaded at run time, never imported.
#   imports_check.sh OBJDUMP EXE
set -uo pipefail
objdump=$1 exe=$2
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table read from $exe" >&2; exit 1; }
echo "imports: $(echo $imports)"
status=0
for dll in $imports; do
  case "$dll" in
    d3dcompiler*) echo "FAIL: $exe imports $dll" >&2; status=1 ;;
  esac
done
# Nor does it load a gamepad library at run time (see cmake/DearImGui.cmake).
if grep -aqi 'xinput' "$exe"; then
  echo "FAIL: $exe names an XInput library" >&2
  status=1
fi
exit $status
