#!/usr/bin/env bash
# Where the bytes of a linked executable go: reads a GNU ld map file (-Wl,-Map) and sums the input
# sections that land in the image by origin (libstdc++, easylogging++, jsoncons, our own code, the
# MinGW runtime, ...), code and data apart from unwind tables. Given two maps, it compares them.
#   size-breakdown.sh <map file>                  one table: code and data, unwind tables, together
#   size-breakdown.sh <map before> <map after>    one table: together, before and after
# The image also holds what no input section does: headers, section padding and the base
# relocations (.reloc); `objdump -h` of the executable shows those.
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: size-breakdown.sh <map> [<map after>]" >&2; exit 2; }

# Tab-separated rows: origin, code and data, unwind tables, together.
sums() {
awk '
# Our objects, easylogging++ and jsoncons are told apart by the function or data a section holds
# (sections per function), because link-time optimisation merges them into one object.
function group(file, section) {
  if (file ~ /libstdc\+\+/) return "libstdc++"
  if (file ~ /libgcc/) return "libgcc (unwinder, helpers)"
  if (file ~ /libwinpthread|libpthread/) return "winpthread"
  if (file ~ /(^|\/)delay\/|lib(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|rpcrt4|uuid|comctl32|comdlg32|winspool)\.a/) return "import tables and thunks"
  if (file ~ /(crt2u?|crtbegin|crtend|dllcrt2)\.o|libmingw|libmsvcrt|libmoldname/) return "MinGW C runtime"
  if (file ~ /\.res$/) return "resources"
  if (file ~ /libcv_|cv_setup\.dir|\.obj$|ltrans/) {
    if (section == ".eh_frame") return "unwind tables of ours, easylogging++, jsoncons"
    if (section ~ /jsoncons/) return "jsoncons"
    if (section ~ /[$.]_Z(N|NK|T[VIS]N?)?2el[0-9]/) return "easylogging++"
    if (section ~ /[$.]_Z(N|NK|T[VIS]N?)?2cv[0-9]|wWinMain/) return "our code"
    if (section ~ /[$.]_Z(N|NK|T[VIS]N?)?S[tsaiod]|[$.]_ZSt/) return "std templates used by these"
    if (file ~ /libcv_easylogging/) return "easylogging++"
    if (file ~ /ltrans/) return "ours, easylogging++, jsoncons: other"
    return "our code"
  }
  if (file == "" || file ~ /^(BYTE|SHORT|LONG|QUAD)$/) return "linker fill"
  return "other: " file
}
# Output sections that take room in the file.
/^\.[a-zA-Z_]/ { split($1, parts, " "); out = parts[1]; keep = out ~ /^\.(text|data|rdata|eh_frame|idata|CRT|tls|rsrc|pdata|xdata)$/ }
/^Discarded input sections/ { keep = 0 }
keep && /^ [^ *]/ {
  name = $1
  if (NF == 1) { pending = name; next }
  if ($2 ~ /^0x/ && $3 ~ /^0x/) { add(name, $3, $4) }
  pending = ""
  next
}
keep && pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ / { add(pending, $2, $3); pending = ""; next }
keep && /^ \*fill\* / { add("", $3, ""); next }
function hex(text,   i, n) {
  n = 0
  for (i = 3; i <= length(text); ++i) n = n * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
  return n
}
function add(section, size, file,   g, n) {
  n = hex(size)
  if (n == 0) return
  g = group(file, section)
  if (out == ".eh_frame") unwind[g] += n; else body[g] += n
  seen[g] = 1
}
END {
  for (g in seen) {
    printf "%s\t%d\t%d\t%d\n", g, body[g], unwind[g], body[g] + unwind[g]
    allBody += body[g]; allUnwind += unwind[g]
  }
  printf "%s\t%d\t%d\t%d\n", "all input sections", allBody, allUnwind, allBody + allUnwind
}' "$1"
}

tab=$(printf '\t')
if [ $# -eq 1 ]; then
  sums "$1" | sort -t "$tab" -k4,4nr | awk -F "$tab" '
    BEGIN {
      printf "| %-46s | %13s | %13s | %9s |\n", "origin", "code and data", "unwind tables", "together"
      printf "|%s|%s|%s|%s|\n", "---", "---:", "---:", "---:"
    }
    { printf "| %-46s | %13d | %13d | %9d |\n", $1, $2, $3, $4 }'
else
  { sums "$1" | sed "s/^/before$tab/"; sums "$2" | sed "s/^/after$tab/"; } | awk -F "$tab" '
    { seen[$2] = 1; if ($1 == "before") before[$2] = $5; else after[$2] = $5 }
    END {
      for (g in seen) printf "%s\t%d\t%d\t%d\n", g, before[g], after[g], after[g] - before[g]
    }' | sort -t "$tab" -k2,2nr | awk -F "$tab" '
    BEGIN {
      printf "| %-46s | %9s | %9s | %9s |\n", "origin", "before", "after", "change"
      printf "|%s|%s|%s|%s|\n", "---", "---:", "---:", "---:"
    }
    { printf "| %-46s | %9d | %9d | %+9d |\n", $1, $2, $3, $4 }'
fi
