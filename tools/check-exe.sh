#!/usr/bin/env bash
# Checks a built stub as it would ship: the expected PE machine, no MinGW DLL beside it (only system
# DLLs imported), the manifest's administrator request and common controls 6 inside, and prints its
# size.   check-exe.sh <exe> <i386|x86-64>
set -euo pipefail
exe=${1:?exe}
machine=${2:?i386 or x86-64}
case "$machine" in
  i386) objdump=i686-w64-mingw32-objdump; format="pei-i386" ;;
  x86-64) objdump=x86_64-w64-mingw32-objdump; format="pei-x86-64" ;;
  *) echo "check-exe: unknown machine $machine" >&2; exit 2 ;;
esac
fail() { echo "check-exe: $exe: $*" >&2; exit 1; }

headers=$("$objdump" -p "$exe")
grep -q "file format $format" <<<"$headers" || fail "not $format"
grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "not a GUI program"
dlls=$(grep "DLL Name:" <<<"$headers" | awk '{print tolower($3)}' | sort -u)
allowed="advapi32.dll bcrypt.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll urlmon.dll user32.dll winhttp.dll ws2_32.dll"
for dll in $dlls; do
  grep -qw "$dll" <<<"$allowed" || fail "imports $dll, which is not a system DLL"
done
text=$(strings -n 8 "$exe")
grep -q 'level="requireAdministrator"' <<<"$text" || fail "no requireAdministrator manifest"
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$text" || fail "no common controls 6 in the manifest"
echo "check-exe: $exe: $format, GUI, imports: $(echo $dlls), $(stat -c %s "$exe") bytes"
