#!/usr/bin/env bash
# Writes tools/wine32-packages.lock: the i386 packages of Debian 12's main index that 32-bit Wine
# (wine32) needs, each with its version and SHA-256, from which setup.sh unpacks a private 32-bit Wine
# where wine32:i386 cannot be installed. Packages of the "all" architecture are left out: the machine
# has them through its 64-bit Wine. Run it when Debian 12 publishes a new wine or library version.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/private-apt.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

private_apt_init "$work" i386 \
  "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main"
private_apt_update 4

mapfile -t names < <(apt-cache "${private_apt_opts[@]}" depends --recurse --no-recommends --no-suggests \
                       --no-conflicts --no-breaks --no-replaces --no-enhances wine32 | grep -v '^ ' | grep -v '^<' | sort -u)
{
  echo "# i386 packages of Debian 12 (bookworm main) unpacked into the private 32-bit Wine: name version SHA-256."
  echo "# Made by tools/wine32-lock.sh; setup.sh downloads exactly these and checks each one."
  apt-cache "${private_apt_opts[@]}" show --no-all-versions "${names[@]}" |
    awk '/^Package:/ {n = $2} /^Version:/ {v = $2} /^Architecture:/ {a = $2} /^SHA256:/ {h = $2}
         /^$/ {if (a == "i386") print n, v, h; a = ""}'
} > "$root/tools/wine32-packages.lock"
echo "wine32-lock: $(grep -vc '^#' "$root/tools/wine32-packages.lock") packages"
