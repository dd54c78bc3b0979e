#!/bin/bash
# Face-library export and import throughput of Galvorn beside the benchmark's minimal
# stop-and-wait reference client (bench/stopwaitclient.cpp), against the same
# galvorn-devsim camera and library, in namespaces that this script makes and removes:
#
#   run-transfer-bench.sh BUILD_DIR [--persons N] [--rounds N] [--parallel N]
#
# BUILD_DIR holds bin/galvorn-devsim and bin/galvorn_bench_transfer (a release build;
# nothing is built here). Each round runs a Galvorn export, a reference export, a
# Galvorn import and a reference import, one after the other, so both clients see the
# same machine; every other round runs the reference first, so that neither client always
# follows the other. Scenarios, each with a simulator of its own whose first camera holds
# N seeded persons (default 3000, about 48 MB of library, so that one transfer lasts long
# beside the fixed cost of a connection and the timer's noise) and sends 61440-byte
# export chunks:
#   loopback      pc and camera on lo, no reply delay; five times the rounds, since a
#                 transfer there lasts a tenth of a second and the machine's other work
#                 moves single rounds most
#   shaped        a "pc" and a "camera" namespace joined by a veth pair (192.0.2.1 and
#                 192.0.2.2), each end shaped with tbf to 100 Mbit/s, every reply 0.5 ms
#                 late; also N empty cameras (default 32) that one run imports into at once
# The exported data files go to the run's tmpfs work folder, so that an export's sync
# measures neither client against the disk and other programs' writes.
# It prints per client and transfer the median and the spread (lowest, highest) of the
# whole-transfer rate over the rounds (default 9), Galvorn's median as a share of the
# reference's, and the parallel imports as a share of the link rate and of what the
# headers leave of it (chunk / wire bytes, below). MB is 10^6 bytes.
#
# On the shaped link it also prints each median as a share of two stop-and-wait bounds
# of one 61440-byte chunk per round trip:
#   simple  chunk / (chunk / rate + delay), counting the library's bytes only;
#   wire    chunk / ((wire bytes - burst) / rate + delay), where the wire bytes are what
#           tbf counts of the data message (chunk, 8-byte frame header, 16-byte command
#           header, 12-byte chunk head) cut into segments of at most 1448 bytes (MTU 1500
#           less IPv4, TCP and the timestamp option), each with 66 bytes of Ethernet,
#           IPv4 and TCP headers; and burst is tbf's bucket (32 kbit, 4000 bytes), which
#           refills during the reply delay and lets that many bytes pass at once. The
#           small message the other way (a request or an acknowledgement) passes within
#           its own end's bucket. No client can pass this bound; it lies above the
#           simple one because the bucket saves more than the headers cost.
#
# Exit status: 0; 77 when namespaces cannot be made; 3 when the set-up fails; 2 on bad
# arguments. Everything runs inside an outer network and mount namespace with a private
# /run/netns, and an EXIT trap stops the simulators and removes the namespaces and the
# work folder, so nothing outlives the run.
set -uo pipefail

readonly kChunk=61440
readonly kBurst=32kbit
# Bytes of the framing around each chunk's data (frame, command header, chunk head), the
# largest TCP payload per segment on the veth pair, headers per segment, and kBurst in
# bytes.
readonly kChunkFraming=36
readonly kSegmentPayload=1448
readonly kSegmentHeaders=66
readonly kBurstBytes=4000
readonly kRate=100mbit
readonly kRateBytesPerSecond=12500000
readonly kDelayUs=500
readonly kReadySeconds=20

usage() {
    echo "usage: $0 BUILD_DIR [--persons N] [--rounds N] [--parallel N]" >&2
    exit 2
}

[[ $# -ge 1 ]] || usage
build=$(realpath "$1") || usage
shift
persons=3000
rounds=9
parallel=32
while [[ $# -gt 0 ]]; do
    case $1 in
    --persons) [[ $# -ge 2 && $2 =~ ^[0-9]+$ ]] || usage; persons=$2; shift 2 ;;
    --rounds) [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage; rounds=$2; shift 2 ;;
    --parallel) [[ $# -ge 2 && $2 =~ ^[0-9]+$ && $2 -le 100 ]] || usage; parallel=$2; shift 2 ;;
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
                "$self" "$build" --persons "$persons" --rounds "$rounds" --parallel "$parallel"
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

# start_simulator NS BIND DELAY_US LABEL EMPTY: one camera at BIND:9008 with the seeded
# library, and EMPTY cameras without one at the ports after it. It reads its control
# lines from a pipe that this script holds open, so it quits when the script goes.
start_simulator() {
    local ns=$1 bind=$2 delay=$3 label=$4 empty=$5 config=$work/$4.conf line netns_id output i
    camera_section 0 "$bind" "$delay" "facelib.seedPersons = $persons" >"$config"
    for ((i = 1; i <= empty; i++)); do
        camera_section "$i" "$bind" "$delay" "" >>"$config"
    done
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

# camera_section INDEX BIND DELAY_US EXTRA: the configuration of camera INDEX, whose MAC
# and data port the benchmark derives from the index.
camera_section() {
    printf '[camera]\nmac = 02:1A:2B:3C:%02X:%02X\nbind = %s\ndataPort = %d\nhttpPort = 0\n' \
        $(($1 >> 8)) $(($1 & 255)) "$2" $((9008 + $1))
    printf 'device.replyDelayUs = %s\nfacelib.chunkSize = %s\n%s\n\n' "$3" "$kChunk" "$4"
}

stop_simulator() {
    exec {simulator_input}>&-
    wait "$simulator" 2>/dev/null
    simulator=
}

# measure NS BIND DELAY_US LABEL EMPTY ROUNDS: the benchmark from NS (the pc side)
# against a fresh simulator in CAMERA_NS, results in $work/LABEL.json.
measure() {
    local ns=$1 bind=$2 delay=$3 label=$4 empty=$5 count=$6
    start_simulator "$CAMERA_NS" "$bind" "$delay" "$label" "$empty"
    echo "== $label" >&2
    in_ns "$ns" env GALVORN_NETNS="$(in_ns "$ns" readlink /proc/self/ns/net)" TMPDIR="$work" \
        "$bench" --camera="$bind:9008" --rounds="$count" --parallel="$empty" \
        --benchmark_out="$work/$label.json" --benchmark_out_format=json {simulator_input}>&- >&2 ||
        fail "the benchmark failed for $label"
    stop_simulator
}

# Loopback: this script's own namespace, which has nothing but lo.
ip link set lo up || fail "cannot bring lo up"
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo
CAMERA_NS=
measure "" 127.0.0.1 0 loopback 0 $((rounds * 5))

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
    ip netns exec "$name" tc qdisc add dev "$device" root tbf rate "$kRate" burst "$kBurst" latency 50ms ||
        fail "cannot shape $device"
done
CAMERA_NS=$cam
measure "$pc" 192.0.2.2 "$kDelayUs" shaped "$parallel" "$rounds"

python3 - "$work" "$kChunk" "$kRateBytesPerSecond" "$kDelayUs" "$parallel" \
    "$kChunkFraming" "$kSegmentPayload" "$kSegmentHeaders" "$kBurstBytes" <<'EOF'
import json, math, statistics, sys

work = sys.argv[1]
chunk, rate, delay_us, parallel, framing, mss, headers, burst = map(int, sys.argv[2:])
bound = chunk / (chunk / rate + delay_us / 1e6)
message = chunk + framing
wire = message + math.ceil(message / mss) * headers
wire_bound = chunk / (max(wire - burst, 0) / rate + delay_us / 1e6)


def load(label):
    """Whole-transfer rates per benchmark name over the rounds, and the failures."""
    rates, failed = {}, []
    with open(f"{work}/{label}.json") as f:
        for run in json.load(f)["benchmarks"]:
            name = run["name"].split("/")[0]
            if "error_message" in run:
                failed.append(f"{run['name']}: {run['error_message']}")
            elif "bytes_per_second" in run and run.get("run_type") != "aggregate":
                rates.setdefault(name, []).append(run["bytes_per_second"])
    return rates, failed


def spread(values):
    return (f"{statistics.median(values) / 1e6:>8.2f}"
            f"  {min(values) / 1e6:>6.2f}-{max(values) / 1e6:<6.2f}")


print(f"{'scenario':<10}{'transfer':<9}{'galvorn MB/s (low-high)':>26}"
      f"{'reference MB/s (low-high)':>28}{'ratio':>7}{'of simple':>10}{'of wire':>9}"
      f"{'ref/simple':>11}{'ref/wire':>9}")
rounds = {}
for label in ("loopback", "shaped"):
    rates, failed = load(label)
    for line in failed:
        print(f"{label:<10}failed: {line}")
    for name in ("export", "import"):
        mine, ref = rates.get(name), rates.get(name + "_reference")
        if not mine or not ref:
            continue
        rounds[label] = len(mine)
        ratio = statistics.median(mine) / statistics.median(ref)
        if label == "shaped":
            mid, ref_mid = statistics.median(mine), statistics.median(ref)
            share = (f"{mid / bound:>10.3f}{mid / wire_bound:>9.3f}"
                     f"{ref_mid / bound:>11.3f}{ref_mid / wire_bound:>9.3f}")
        else:
            share = f"{'-':>10}{'-':>9}{'-':>11}{'-':>9}"
        print(f"{label:<10}{name:<9}{spread(mine):>26}{spread(ref):>28}{ratio:>7.3f}{share}")
    if label == "shaped" and rates.get("import_parallel"):
        together = rates["import_parallel"]
        print(f"{parallel} imports at once on the shaped link: "
              f"{statistics.median(together) / 1e6:.2f} MB/s (runs {len(together)}), "
              f"{statistics.median(together) / rate:.3f} of the link rate, "
              f"{statistics.median(together) * wire / chunk / rate:.3f} of its share left "
              f"after the headers ({chunk}/{wire})")
print(f"rounds {', '.join(f'{k} {v}' for k, v in rounds.items())}, chunk {chunk} bytes, reply delay {delay_us} us on the shaped link, "
      f"stop-and-wait bound {bound / 1e6:.2f} MB/s simple, {wire_bound / 1e6:.2f} MB/s "
      f"by wire ({wire} bytes a chunk, {burst} of them in the bucket), MB = 10^6 bytes")
print("whole transfers: connect, login, start, data phase, end (and the file's sync for an export)")
EOF
