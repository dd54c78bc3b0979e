#!/bin/bash
# Test hosts in network namespaces: one "pc" namespace and one "camera" namespace per
# simulator configuration, joined by veth pairs on a bridge in the pc namespace.
#
#   multi-netns.sh --devsim PATH --camera CONFIG [--camera CONFIG]... -- COMMAND [ARG...]
#
# Addresses: the pc holds 192.0.2.1/24 and 198.51.100.1/24 on its bridge. Each camera
# namespace holds every `bind` address of its configuration (all within 192.0.2.0/24 or
# 198.51.100.0/24) as /24 on its veth, with a default route back to the pc. One
# galvorn-devsim per camera namespace plays that configuration; once every simulator has
# printed "ready", COMMAND runs in the pc namespace with GALVORN_NETNS set.
#
# Exit status: COMMAND's; 77 when this machine does not allow network namespaces; 3 when
# the set-up fails; 2 on bad arguments.
#
# Clean-up: an EXIT/INT/TERM trap stops the simulators and the command and removes the
# namespaces and the work folder; the simulators and the command also get SIGTERM when
# this script dies, even by SIGKILL. The whole run happens inside an outer user, network
# and mount namespace with a private /run/netns that holds the namespaces and the work
# folder, so nothing of it outlives the run. Where that outer isolation is not available,
# the namespaces and the work folder are made in the machine's /run/netns and $TMPDIR
# under names that carry this run's process id, and every run first removes those left
# behind by runs whose process no longer exists.
set -uo pipefail

readonly kPrefix=gvns
readonly kPcAddresses=(192.0.2.1/24 198.51.100.1/24)
readonly kReadySeconds=20

usage() {
    echo "usage: $0 --devsim PATH --camera CONFIG [--camera CONFIG]... -- COMMAND [ARG...]" >&2
    exit 2
}

devsim=
configs=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --devsim) [[ $# -ge 2 ]] || usage; devsim=$2; shift 2 ;;
    --camera) [[ $# -ge 2 ]] || usage; configs+=("$(realpath "$2")"); shift 2 ;;
    --) shift; break ;;
    *) usage ;;
    esac
done
[[ -n $devsim && ${#configs[@]} -gt 0 && $# -gt 0 ]] || usage
devsim=$(realpath "$devsim")
self=$(realpath "$0")

readonly kTmp=${TMPDIR:-/tmp}

# Removes the namespaces and work folders of earlier runs whose process has gone.
sweep_stale() {
    local name pid
    for name in $(ip netns list 2>/dev/null | awk '{print $1}') "$kTmp/$kPrefix"*; do
        [[ $(basename "$name") =~ ^${kPrefix}([0-9]+)x ]] || continue
        pid=${BASH_REMATCH[1]}
        kill -0 "$pid" 2>/dev/null && continue
        if [[ -d $name ]]; then
            rm -rf "$name"
        else
            ip netns delete "$name" 2>/dev/null
        fi
    done
}

if [[ -z ${GALVORN_MULTI_NETNS_INNER:-} ]]; then
    sweep_stale
    export GALVORN_MULTI_NETNS_INNER=1
    for isolation in "--user --map-root-user" ""; do
        # shellcheck disable=SC2086
        if unshare $isolation --net --mount --propagation private true 2>/dev/null; then
            export GALVORN_MULTI_NETNS_PRIVATE_RUN=1
            # shellcheck disable=SC2086
            exec unshare $isolation --net --mount --propagation private -- \
                "$self" --devsim "$devsim" $(printf -- '--camera %q ' "${configs[@]}") -- "$@"
        fi
    done
fi

prefix=${kPrefix}$$x$((RANDOM % 10000))
if [[ -n ${GALVORN_MULTI_NETNS_PRIVATE_RUN:-} ]]; then
    # A private /run/netns that vanishes with this run; the pipes live there too.
    mkdir -p /run/netns && mount -t tmpfs gvnetns /run/netns || exit 3
    work=/run/netns/.$prefix
else
    work=$kTmp/$prefix
fi
mkdir -m 700 "$work" || exit 3
pc=${prefix}pc
namespaces=()
children=()
held=()
exec {script_input}<&0

cleanup() {
    local pid name
    trap - EXIT INT TERM
    for pid in "${children[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${children[@]}"; do
        wait "$pid" 2>/dev/null
    done
    for name in "${namespaces[@]}"; do
        ip netns delete "$name" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "multi-netns: $*" >&2
    exit 3
}

# spawn IN OUT ERR COMMAND...: runs COMMAND in the background with its standard streams
# opened from the three paths ("-" keeps the script's own). It closes the pipe ends this
# script holds, so that only this script keeps a simulator's input open, and it is sent
# SIGTERM when this script dies, even by SIGKILL.
spawn() {
    local in=$1 out=$2 err=$3
    shift 3
    (
        # A background job's input would be /dev/null; "-" means the script's own.
        if [[ $in == - ]]; then exec <&"$script_input"; else exec <"$in"; fi
        [[ $out == - ]] || exec >"$out"
        [[ $err == - ]] || exec 2>"$err"
        for fd in "${held[@]}" "$script_input"; do
            exec {fd}>&-
        done
        exec setpriv --pdeathsig TERM -- "$@"
    ) &
    children+=($!)
}

add_namespace() {
    ip netns add "$1" 2>/dev/null || return 1
    namespaces+=("$1")
    ip -n "$1" link set lo up
}

if ! add_namespace "$pc"; then
    echo "multi-netns: this machine does not allow creating network namespaces" >&2
    exit 77
fi
ip -n "$pc" link add br0 type bridge mcast_snooping 0 || fail "cannot create the bridge"
for address in "${kPcAddresses[@]}"; do
    ip -n "$pc" addr add "$address" dev br0 || fail "cannot add $address"
done
ip -n "$pc" link set br0 up

# The bind addresses of a configuration, one a line.
bind_addresses() {
    sed -n 's/^[[:space:]]*bind[[:space:]]*=[[:space:]]*\([0-9.]*\)[[:space:]]*$/\1/p' "$1"
}

start_camera_host() {
    local index=$1 config=$2 cam=${prefix}c$1 address gateway= netns_id
    add_namespace "$cam" || fail "cannot create $cam"
    ip -n "$pc" link add "vc$index" type veth peer name eth0 netns "$cam" || fail "veth $index"
    ip -n "$pc" link set "vc$index" master br0 up
    for address in $(bind_addresses "$config"); do
        case $address in
        192.0.2.*) gateway=${gateway:-192.0.2.1} ;;
        198.51.100.*) gateway=${gateway:-198.51.100.1} ;;
        *) fail "$config: bind $address is outside 192.0.2.0/24 and 198.51.100.0/24" ;;
        esac
        ip -n "$cam" addr add "$address/24" dev eth0 || fail "cannot add $address"
    done
    [[ -n $gateway ]] || fail "$config names no bind address"
    ip -n "$cam" link set eth0 up
    ip -n "$cam" route add default via "$gateway"
    netns_id=$(ip netns exec "$cam" readlink /proc/self/ns/net)

    # The simulator reads its control lines from a pipe that this script holds open: if
    # the script dies, the simulator sees the end of its input and quits.
    mkfifo "$work/c$index.in" "$work/c$index.out"
    spawn "$work/c$index.in" "$work/c$index.out" "$work/c$index.err" \
        ip netns exec "$cam" env GALVORN_NETNS="$netns_id" "$devsim" "$config"
    exec {control}>"$work/c$index.in"
    exec {output}<"$work/c$index.out"
    held+=("$control" "$output")
    local line
    while :; do
        if ! read -r -t "$kReadySeconds" -u "$output" line; then
            cat "$work/c$index.err" >&2
            fail "the simulator for $config did not get ready"
        fi
        [[ $line == ready ]] && break
    done
    # Drains the simulator's later output so that it never blocks on a full pipe.
    spawn "/dev/fd/$output" "$work/c$index.log" - cat
}

index=0
for config in "${configs[@]}"; do
    index=$((index + 1))
    start_camera_host "$index" "$config"
done

pc_id=$(ip netns exec "$pc" readlink /proc/self/ns/net)
spawn - - - ip netns exec "$pc" env GALVORN_NETNS="$pc_id" "$@"
wait "${children[-1]}"
exit $?
