#!/usr/bin/env bash
# Runs a command in a network namespace of its own whose loopback is up. The end-to-end tests listen
# on fixed loopback ports, so two lanes of them (or two test runs on one machine) meet only when they
# share the machine's network.
#   own-network.sh COMMAND [ARGS...]
#   own-network.sh --check      exit status 0 when a namespace can be made here (root, or a kernel
#                               that lets this user make one)
set -euo pipefail
if [ "${1:-}" = --check ]; then
  exec unshare -n sh -c 'ip link set lo up' 2>/dev/null
fi
exec unshare -n sh -c 'ip link set lo up && exec "$@"' own-network "$@"
