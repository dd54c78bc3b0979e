#!/bin/bash
# Runs a command beside the demo cameras, in a private network namespace of its own.
#
#   demo-netns.sh COMMAND [ARG...]
#
# The namespace has loopback only (tests/netns/run-in-netns.sh): lo up, multicast on, the
# multicast range routed to it. Each camera's bind address is added to lo as a /32, so
# the cameras answer the search from the addresses they report and their web pages open
# at http://<address>/. galvorn-devsim plays the cameras; once it is ready the command
# runs in the same namespace, and when the command ends the simulator and the namespace
# go with it. The exit status is the command's.
#
# Environment: GALVORN_DEVSIM, the simulator (default: build/debug/bin/galvorn-devsim);
# GALVORN_DEMO_CONFIG, the cameras (default: demo-cameras.conf beside this script).
# While the command runs, control lines for the simulator (docs/devsim.md) can be written
# to the pipe named in GALVORN_DEMO_CONTROL, for example
#   echo "silence 02:1A:2B:10:00:03" > "$GALVORN_DEMO_CONTROL"
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

if [[ $# -eq 0 ]]; then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi

if [[ -z ${GALVORN_DEMO_INNER:-} ]]; then
    export GALVORN_DEMO_INNER=1
    export GALVORN_DEVSIM=$(realpath "${GALVORN_DEVSIM:-$repo/build/debug/bin/galvorn-devsim}")
    export GALVORN_DEMO_CONFIG=$(realpath "${GALVORN_DEMO_CONFIG:-$here/demo-cameras.conf}")
    exec "$repo/tests/netns/run-in-netns.sh" "$0" "$@"
fi

readonly kReadySeconds=20
work=$(mktemp -d "${TMPDIR:-/tmp}/galvorn-demo.XXXXXX")
devsim_pid=
cleanup() {
    trap - EXIT INT TERM
    if [[ -n $devsim_pid ]]; then
        kill "$devsim_pid" 2>/dev/null || true
        wait "$devsim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for address in $(sed -n 's/^[[:space:]]*bind[[:space:]]*=[[:space:]]*\([0-9.]*\)[[:space:]]*$/\1/p' \
    "$GALVORN_DEMO_CONFIG"); do
    case $address in
    127.* | 192.0.2.* | 198.51.100.* | 203.0.113.*) ;;
    *)
        echo "demo-netns: bind $address is not a test address" >&2
        exit 3
        ;;
    esac
    [[ $address == 127.* ]] || ip addr add "$address/32" dev lo
done

# The simulator reads control lines from a pipe that this script keeps open for writing,
# so it quits when the script ends, and the user can write to it meanwhile.
mkfifo "$work/control" "$work/output"
setpriv --pdeathsig TERM -- "$GALVORN_DEVSIM" "$GALVORN_DEMO_CONFIG" \
    <"$work/control" >"$work/output" &
devsim_pid=$!
exec {control}>"$work/control"
exec {output}<"$work/output"
if ! read -r -t "$kReadySeconds" -u "$output" line || [[ $line != ready ]]; then
    echo "demo-netns: the simulator did not get ready" >&2
    exit 3
fi
cat <&"$output" >/dev/null {control}>&- &
export GALVORN_DEMO_CONTROL=$work/control
echo "demo-netns: cameras ready; control pipe: $GALVORN_DEMO_CONTROL" >&2
status=0
"$@" {control}>&- {output}>&- || status=$?
exit $status
