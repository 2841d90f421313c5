#!/bin/sh
# The shipped stub is reproducible: the checkout's files, copied into another folder and built
# there again now, with the same settings and the same commit time, give a cv_setup.exe identical
# byte for byte to the one of the Windows build. Only the stub is built the second time.
#   reproducible_build_test.sh <source folder> <Windows build folder>
set -eu
src=$1
build=$2
started=$(date +%s)
work=$(mktemp -d /tmp/cv_reproducible_XXXXXX)
trap 'rm -rf "$work"' EXIT

# The same files (what git tracks and what it would, uncommitted changes included), in a folder of
# another name and length.
copy="$work/another checkout"
mkdir -p "$copy"
git -C "$src" ls-files -z --cached --others --exclude-standard |
  (cd "$src" && xargs -0 tar -cf - --no-recursion) | tar -xf - -C "$copy"

# The same settings: every CV_* value of the first build's cache, and the commit time it took.
cache="$build/CMakeCache.txt"
epoch=$(sed -n 's/^CV_SOURCE_DATE_EPOCH:INTERNAL=//p' "$cache")
[ -n "$epoch" ] || { echo "no CV_SOURCE_DATE_EPOCH in $cache"; exit 1; }
set --
while IFS= read -r line; do
  set -- "$@" "-D$line"
done <<SETTINGS
$(grep -E '^CV_[A-Z0-9_]+:(STRING|FILEPATH|PATH|BOOL)=' "$cache")
SETTINGS
(cd "$copy" && SOURCE_DATE_EPOCH=$epoch cmake --preset windows "$@" >"$work/configure.log" 2>&1) ||
  { cat "$work/configure.log"; exit 1; }
(cd "$copy" && cmake --build --preset windows --target cv_setup >"$work/build.log" 2>&1) ||
  { cat "$work/build.log"; exit 1; }

first="$build/cv_setup.exe"
second="$copy/build/windows/cv_setup.exe"
sha256sum "$first" "$second"
echo "second build of the stub: $(( $(date +%s) - started )) s"
if ! cmp -s "$first" "$second"; then
  echo "the two builds differ in $(cmp -l "$first" "$second" | wc -l) bytes"
  exit 1
fi
echo "the two builds are identical"
