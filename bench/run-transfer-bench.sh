#!/bin/bash
# Face-library export and import throughput against galvorn-devsim, in namespaces that
# this script makes and removes:
#
#   run-transfer-bench.sh BUILD_DIR [--persons N] [--rounds N]
#
# BUILD_DIR holds bin/galvorn-devsim and bin/galvorn_bench_transfer (a release build;
# nothing is built here). Scenarios, each with a simulator of its own holding N seeded
# persons (default 700, about 11 MB of library) and sending 61440-byte export chunks:
#   loopback           pc and camera on lo, no reply delay
#   loopback+delay     the same with every reply 0.5 ms late
#   shaped+delay       a "pc" and a "camera" namespace joined by a veth pair
#                      (192.0.2.1 and 192.0.2.2), each end shaped with tbf to 100 Mbit/s,
#                      every reply 0.5 ms late
# It prints the rate of whole transfers and of their data phase alone (first to last
# progress report) beside the stop-and-wait bound of one 61440-byte chunk per round trip,
# chunk / (chunk / rate + delay), and the share of that bound reached. MB is 10^6 bytes.
#
# Exit status: 0; 77 when namespaces cannot be made; 3 when the set-up fails; 2 on bad
# arguments. Everything runs inside an outer network and mount namespace with a private
# /run/netns, and an EXIT trap stops the simulators and removes the namespaces and the
# work folder, so nothing outlives the run.
set -uo pipefail

readonly kChunk=61440
readonly kRate=100mbit
readonly kRateBytesPerSecond=12500000
readonly kDelayUs=500
readonly kReadySeconds=20

usage() {
    echo "usage: $0 BUILD_DIR [--persons N] [--rounds N]" >&2
    exit 2
}

[[ $# -ge 1 ]] || usage
build=$(realpath "$1") || usage
shift
persons=700
rounds=3
while [[ $# -gt 0 ]]; do
    case $1 in
    --persons) [[ $# -ge 2 && $2 =~ ^[0-9]+$ ]] || usage; persons=$2; shift 2 ;;
    --rounds) [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage; rounds=$2; shift 2 ;;
    *) usage ;;
    esac
done
devsim=$build/bin/galvorn-devsim
bench=$build/bin/galvorn_bench_transfer
for binary in "$devsim" "$bench"; do
    [[ -x $binary ]] || { echo "run-transfer-bench: $binary is missing; build it first" >&2; exit 2; }
done
self=$(realpath "$0")

if [[ -z ${GALVORN_TRANSFER_BENCH_INNER:-} ]]; then
    export GALVORN_TRANSFER_BENCH_INNER=1
    for isolation in "--user --map-root-user" ""; do
        # shellcheck disable=SC2086
        if unshare $isolation --net --mount --propagation private true 2>/dev/null; then
            # shellcheck disable=SC2086
            exec unshare $isolation --net --mount --propagation private -- \
                "$self" "$build" --persons "$persons" --rounds "$rounds"
        fi
    done
    echo "run-transfer-bench: this machine does not allow network namespaces" >&2
    exit 77
fi

# A private /run/netns that vanishes with this run; the work folder lives there too.
mkdir -p /run/netns && mount -t tmpfs gvbench /run/netns || exit 3
work=/run/netns/.work
mkdir -m 700 "$work" || exit 3
readonly pc=gvbench-pc cam=gvbench-cam
namespaces=()
simulator=
simulator_input=

cleanup() {
    trap - EXIT INT TERM
    if [[ -n $simulator ]]; then
        kill "$simulator" 2>/dev/null
        wait "$simulator" 2>/dev/null
    fi
    for name in "${namespaces[@]}"; do
        ip netns delete "$name" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "run-transfer-bench: $*" >&2
    exit 3
}

# in_ns NAME COMMAND...: COMMAND in namespace NAME ("" is this script's own).
in_ns() {
    local name=$1
    shift
    if [[ -z $name ]]; then
        "$@"
    else
        ip netns exec "$name" "$@"
    fi
}

# start_simulator NS BIND DELAY_US LABEL: one camera at BIND:9008 with the seeded
# library. It reads its control lines from a pipe that this script holds open, so it
# quits when the script goes.
start_simulator() {
    local ns=$1 bind=$2 delay=$3 label=$4 config=$work/$4.conf line netns_id output
    cat >"$config" <<EOF
[camera]
mac = 02:1A:2B:3C:4D:5E
bind = $bind
dataPort = 9008
httpPort = 0
device.replyDelayUs = $delay
facelib.seedPersons = $persons
facelib.chunkSize = $kChunk
EOF
    netns_id=$(in_ns "$ns" readlink /proc/self/ns/net)
    mkfifo "$work/$label.in" "$work/$label.out" || fail "cannot make the simulator's pipes"
    local enter=()
    [[ -z $ns ]] || enter=(ip netns exec "$ns")
    (
        exec <"$work/$label.in" >"$work/$label.out" 2>"$work/$label.err"
        exec setpriv --pdeathsig TERM -- env GALVORN_NETNS="$netns_id" \
            "${enter[@]}" "$devsim" "$config"
    ) &
    simulator=$!
    exec {simulator_input}>"$work/$label.in"
    exec {output}<"$work/$label.out"
    while :; do
        if ! read -r -t "$kReadySeconds" -u "$output" line; then
            cat "$work/$label.err" >&2
            fail "the simulator for $label did not get ready"
        fi
        [[ $line == ready ]] && break
    done
    # Drains the simulator's later output so that it never writes to a closed pipe; ends
    # with the simulator.
    cat <&"$output" >"$work/$label.log" {simulator_input}>&- &
    exec {output}<&-
}

stop_simulator() {
    exec {simulator_input}>&-
    wait "$simulator" 2>/dev/null
    simulator=
}

# measure NS BIND DELAY_US LABEL: the benchmark from NS (the pc side) against a fresh
# simulator in CAMERA_NS, results in $work/LABEL.json.
measure() {
    local ns=$1 bind=$2 delay=$3 label=$4
    start_simulator "$CAMERA_NS" "$bind" "$delay" "$label"
    echo "== $label" >&2
    in_ns "$ns" env GALVORN_NETNS="$(in_ns "$ns" readlink /proc/self/ns/net)" \
        "$bench" --camera="$bind:9008" --rounds="$rounds" \
        --benchmark_out="$work/$label.json" --benchmark_out_format=json {simulator_input}>&- >&2 ||
        fail "the benchmark failed for $label"
    stop_simulator
}

# Loopback: this script's own namespace, which has nothing but lo.
ip link set lo up || fail "cannot bring lo up"
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo
CAMERA_NS=
measure "" 127.0.0.1 0 loopback
measure "" 127.0.0.1 "$kDelayUs" loopback+delay

# The shaped link: two namespaces joined by a veth pair, both ends limited by tbf.
for name in "$pc" "$cam"; do
    ip netns add "$name" || fail "cannot create namespace $name"
    namespaces+=("$name")
    ip -n "$name" link set lo up
done
ip -n "$pc" link add veth-pc type veth peer name veth-cam netns "$cam" || fail "cannot create the veth pair"
ip -n "$pc" addr add 192.0.2.1/24 dev veth-pc || fail "cannot address the pc end"
ip -n "$cam" addr add 192.0.2.2/24 dev veth-cam || fail "cannot address the camera end"
for end in "$pc veth-pc" "$cam veth-cam"; do
    read -r name device <<<"$end"
    ip -n "$name" link set "$device" up
    ip netns exec "$name" tc qdisc add dev "$device" root tbf rate "$kRate" burst 32kbit latency 50ms ||
        fail "cannot shape $device"
done
CAMERA_NS=$cam
measure "$pc" 192.0.2.2 "$kDelayUs" shaped+delay

python3 - "$work" "$kChunk" "$kRateBytesPerSecond" "$kDelayUs" <<'EOF'
import json, sys

work, chunk, rate, delay_us = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
delay = delay_us / 1e6


def load(label):
    with open(f"{work}/{label}.json") as f:
        return {run["name"].split("/")[0]: run for run in json.load(f)["benchmarks"]}


def cell(value, bound):
    if not bound:
        return f"{value / 1e6:>8.2f}{'-':>7}"
    return f"{value / 1e6:>8.2f}{100 * value / bound:>6.1f}%"


results = {label: load(label) for label in ("loopback", "loopback+delay", "shaped+delay")}
print(f"{'scenario':<16}{'transfer':<10}{'bound MB/s':>11}{'whole MB/s':>17}{'data phase MB/s':>20}")
for label, runs in results.items():
    for name in ("export", "import"):
        run = runs[name]
        if "error_message" in run:
            print(f"{label:<16}{name:<10}  failed: {run['error_message']}")
            continue
        if label == "shaped+delay":
            link_rate = rate
        elif label == "loopback+delay":
            # Loopback has no rate of its own: the undelayed data phase stands for it.
            link_rate = results["loopback"][name].get("data_phase_bytes_per_second")
        else:
            link_rate = None
        bound = chunk / (chunk / link_rate + delay) if link_rate else None
        shown = f"{bound / 1e6:>11.2f}" if bound else f"{'-':>11}"
        print(f"{label:<16}{name:<10}{shown}{cell(run['bytes_per_second'], bound):>17}"
              f"{cell(run['data_phase_bytes_per_second'], bound):>20}")
size = results["loopback"]["export"].get("library_bytes", 0) / 1e6
print(f"library {size:.2f} MB, chunk {chunk} bytes, reply delay {delay_us} us, MB = 10^6 bytes")
print("bound: chunk / (chunk / rate + delay); rate 12.5 MB/s (100 Mbit/s) on the shaped link,")
print("the undelayed loopback data phase on loopback+delay, none on plain loopback")
print("whole: connect, login, start, data phase, end (and the file's close for an export);")
print("data phase: from the first progress report to the last")
EOF
