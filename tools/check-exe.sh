#!/usr/bin/env bash
# Checks a built stub as it would ship: the PE machine of its build, no MinGW DLL beside it (only
# system DLLs imported), the manifest's administrator request and common controls 6 inside, and,
# when given, a size budget; prints its size.
#   check-exe.sh <exe> <win32|win64> [--max-bytes N]
set -euo pipefail
exe=${1:?exe}
arch=${2:?win32 or win64}
max_bytes=
if [ $# -gt 2 ]; then
  [ "$3" = --max-bytes ] && [ -n "${4:-}" ] || { echo "usage: check-exe.sh <exe> <win32|win64> [--max-bytes N]" >&2; exit 2; }
  max_bytes=$4
fi
case "$arch" in
  win32) objdump=i686-w64-mingw32-objdump; format="pei-i386" ;;
  win64) objdump=x86_64-w64-mingw32-objdump; format="pei-x86-64" ;;
  *) echo "check-exe: unknown build $arch" >&2; exit 2 ;;
esac
fail() { echo "check-exe: $exe: $*" >&2; exit 1; }

headers=$("$objdump" -p "$exe")
grep -q "file format $format" <<<"$headers" || fail "not $format"
grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "not a GUI program"
dlls=$(grep "DLL Name:" <<<"$headers" | awk '{print tolower($3)}' | sort -u)
allowed="advapi32.dll bcrypt.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll rpcrt4.dll shell32.dll urlmon.dll user32.dll winhttp.dll wininet.dll ws2_32.dll"
for dll in $dlls; do
  grep -qw "$dll" <<<"$allowed" || fail "imports $dll, which is not a system DLL"
done
text=$(strings -n 8 "$exe")
grep -q 'level="requireAdministrator"' <<<"$text" || fail "no requireAdministrator manifest"
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$text" || fail "no common controls 6 in the manifest"
size=$(stat -c %s "$exe")
if [ -n "$max_bytes" ] && [ "$size" -gt "$max_bytes" ]; then
  fail "$size bytes, more than the budget of $max_bytes"
fi
echo "check-exe: $exe: $format, GUI, imports: $(echo $dlls), $size bytes${max_bytes:+ (budget $max_bytes)}"
