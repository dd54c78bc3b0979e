#!/bin/bash
# Runs one command in a private network namespace that has loopback only: lo up, with
# multicast switched on and the multicast range routed to it. Nothing the command sends
# can leave the machine, and the namespace disappears with the command.
#
#   run-in-netns.sh COMMAND [ARG...]
#
# The command finds the namespace's id in GALVORN_NETNS; the simulator and the network
# tests check it before they send anything. The exit status is the command's.
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi

# The user namespace (-r) is not needed for rights when run as root, but it keeps the
# command from touching anything outside the new network namespace that needs them.
exec unshare --user --map-root-user --net -- /bin/bash -c '
set -euo pipefail
ip link set lo up
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo
GALVORN_NETNS=$(readlink /proc/self/ns/net)
export GALVORN_NETNS
exec "$@"' run-in-netns "$@"
