#!/bin/bash
# Discovery at site scale: the window against thousands of simulated cameras, in a
# network namespace that this script makes and that disappears with it.
#
#   run-discovery-bench.sh BUILD_DIR [BASELINE_BUILD_DIR] [--cameras "N..."]
#                          [--idle-seconds S] [--rounds N]
#
# BUILD_DIR holds bin/galvorn-devsim and bin/galvorn_bench_discovery (a release build;
# nothing is built here). BASELINE_BUILD_DIR, when given, holds another
# galvorn_bench_discovery, built from the same bench source against an earlier commit
# (bench/build-discovery-baseline.sh makes one); both then run against the same simulated
# cameras, one after the other, and the table shows them side by side.
#
# For each camera count (default "256 1024 4096") the cameras are bound to addresses of
# 127.0.0.0/8 on the namespace's lo, at most 1024 per simulator process, and answer with
# running times that advance, as real cameras do, and the window shows the running-time
# column. Each window runs for the time it needs
# to list them (at most 45 s), 10 s more, and --idle-seconds (default 30) of idle
# measurement; see bench/discovery_bench.cpp for the figures. The search period is the
# program's own, 5 s.
#
# Exit status: 0; 77 when namespaces cannot be made; 3 when the set-up fails; 2 on bad
# arguments. An EXIT trap stops the simulators and removes the work folder.
set -uo pipefail

readonly kCamerasPerSimulator=1024
readonly kReadySeconds=120

usage() {
    echo "usage: $0 BUILD_DIR [BASELINE_BUILD_DIR] [--cameras \"N...\"] [--idle-seconds S] [--rounds N]" >&2
    exit 2
}

[[ $# -ge 1 ]] || usage
build=$(realpath "$1") || usage
shift
baseline=
if [[ $# -ge 1 && $1 != --* ]]; then
    baseline=$(realpath "$1") || usage
    shift
fi
counts="256 1024 4096"
idle=30
rounds=1
while [[ $# -gt 0 ]]; do
    case $1 in
    --cameras) [[ $# -ge 2 && $2 =~ ^[0-9\ ]+$ ]] || usage; counts=$2; shift 2 ;;
    --idle-seconds) [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage; idle=$2; shift 2 ;;
    --rounds) [[ $# -ge 2 && $2 =~ ^[1-9][0-9]*$ ]] || usage; rounds=$2; shift 2 ;;
    *) usage ;;
    esac
done
devsim=$build/bin/galvorn-devsim
for binary in "$devsim" "$build/bin/galvorn_bench_discovery" \
    ${baseline:+"$baseline/bin/galvorn_bench_discovery"}; do
    [[ -x $binary ]] || { echo "run-discovery-bench: $binary is missing; build it first" >&2; exit 2; }
done
self=$(realpath "$0")

if [[ -z ${GALVORN_DISCOVERY_BENCH_INNER:-} ]]; then
    export GALVORN_DISCOVERY_BENCH_INNER=1
    args=("$build")
    [[ -z $baseline ]] || args+=("$baseline")
    args+=(--cameras "$counts" --idle-seconds "$idle" --rounds "$rounds")
    for isolation in "--user --map-root-user" ""; do
        # shellcheck disable=SC2086
        if unshare $isolation --net true 2>/dev/null; then
            # shellcheck disable=SC2086
            exec unshare $isolation --net -- "$self" "${args[@]}"
        fi
    done
    echo "run-discovery-bench: this machine does not allow network namespaces" >&2
    exit 77
fi

work=$(mktemp -d /tmp/galvorn-discovery-bench.XXXXXX) || exit 3
simulators=()
inputs=()

stop_simulators() {
    local pid
    close_inputs
    for pid in "${simulators[@]}"; do
        wait "$pid" 2>/dev/null
    done
    simulators=()
    inputs=()
}

cleanup() {
    trap - EXIT INT TERM
    for pid in "${simulators[@]}"; do
        kill "$pid" 2>/dev/null
    done
    stop_simulators
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "run-discovery-bench: $*" >&2
    exit 3
}

ip link set lo up || fail "cannot bring lo up"
ip link set lo multicast on
ip route add 224.0.0.0/4 dev lo || fail "cannot route multicast to lo"
GALVORN_NETNS=$(readlink /proc/self/ns/net)
export GALVORN_NETNS

# write_config FIRST COUNT FILE: cameras FIRST..FIRST+COUNT-1, each on a 127.0.0.0/8
# address of its own, without web or device face.
write_config() {
    local first=$1 count=$2 file=$3 i
    for ((i = first; i < first + count; ++i)); do
        printf '[camera]\nmac = 02:47:56:00:%02X:%02X\nbind = 127.10.%d.%d\n' \
            $((i >> 8)) $((i & 255)) $((i / 250)) $((1 + i % 250))
        printf 'devName = Camera %d\nhttpPort = 0\ndataPort = 0\nrunningTime = %d\n' \
            "$i" $((86400 + i * 37))
    done >"$file"
}

# close_inputs: closes the write ends of the simulators' control pipes in this shell. A
# child calls it for those it inherited, so that each simulator sees the end of its input
# once this script closes its own.
close_inputs() {
    local fd
    for fd in "${inputs[@]}"; do
        exec {fd}>&-
    done
}

# start_simulators N: enough simulator processes for N cameras; each reads its control
# lines from a pipe that this script holds open, so it quits when the script goes.
start_simulators() {
    local total=$1 first label line input output
    for ((first = 0; first < total; first += kCamerasPerSimulator)); do
        label=cameras$total-from$first
        write_config "$first" $((total - first < kCamerasPerSimulator ? total - first : kCamerasPerSimulator)) \
            "$work/$label.conf"
        mkfifo "$work/$label.in" "$work/$label.out" || fail "cannot make the simulator's pipes"
        (
            close_inputs
            exec <"$work/$label.in" >"$work/$label.out" 2>"$work/$label.err"
            # On a site the cameras are machines of their own; here they share the CPU
            # with the window, and run below it so that their work is not counted as its
            # stalls.
            exec setpriv --pdeathsig TERM -- nice -n 10 "$devsim" "$work/$label.conf"
        ) &
        simulators+=($!)
        exec {input}>"$work/$label.in"
        inputs+=("$input")
        exec {output}<"$work/$label.out"
        while :; do
            if ! read -r -t "$kReadySeconds" -u "$output" line; then
                cat "$work/$label.err" >&2
                fail "simulator $label did not get ready"
            fi
            [[ $line == ready ]] && break
        done
        # Drains the simulator's later output; ends with the simulator.
        (
            close_inputs
            exec cat
        ) <&"$output" >"$work/$label.log" &
        exec {output}<&-
    done
}

# measure LABEL BUILD N: one window run; its figures go to $work/results.
measure() {
    local label=$1 dir=$2 count=$3 figures
    echo "== $label, $count cameras" >&2
    figures=$(cd "$work/run" && XDG_CONFIG_HOME="$work/run" QT_QPA_PLATFORM=offscreen \
        "$dir/bin/galvorn_bench_discovery" --cameras="$count" --idle-seconds="$idle" \
        2>>"$work/window.err") || fail "the window run failed ($label, $count cameras)"
    echo "$figures" >&2
    echo "$label $figures" >>"$work/results"
}

mkdir -p "$work/run" || fail "cannot make the run folder"
# The running-time column, hidden by default, is the one whose text changes while the
# cameras run: shown, its changes are repainted as they come.
printf '[LocalSetting]\nColumnShow14=1\n' >"$work/run/Galvorn.ini"
for count in $counts; do
    start_simulators "$count"
    for ((round = 0; round < rounds; ++round)); do
        [[ -z $baseline ]] || measure before "$baseline" "$count"
        measure after "$build" "$count"
    done
    stop_simulators
done

python3 - "$work/results" <<'EOF'
import sys

rows = []
with open(sys.argv[1]) as f:
    for line in f:
        label, *pairs = line.split()
        fields = dict(pair.split("=", 1) for pair in pairs)
        rows.append((label, fields))

print(f"{'build':<8}{'cameras':>8}{'listed s':>10}{'removed':>9}{'rows':>7}"
      f"{'idle CPU %':>12}{'stall ms':>10}{'> 50 ms':>9}{'paints/s':>10}{'min gap ms':>12}")
for label, f in rows:
    listed = int(f["listed_ms"])
    shown = "never" if listed < 0 else f"{listed / 1000:.2f}"
    paints = int(f["idle_paints"]) / int(f["idle_s"])
    gap = int(f["idle_paint_gap_ms"])
    print(f"{label:<8}{f['cameras']:>8}{shown:>10}{f['removed']:>9}{f['rows_at_end']:>7}"
          f"{float(f['idle_cpu_pct']):>12.2f}{f['stall_ms']:>10}{f['long_stalls']:>9}"
          f"{paints:>10.1f}{'-' if gap < 0 else gap:>12}")
print("listed: from the window's start until every camera has a row (search period 5 s)")
print("removed: rows removed although every camera kept answering")
print("idle CPU: the window's process over the idle time, share of one core")
print("stall: longest lateness of a 10 ms timer on the GUI thread while listing and settling")
print("paints/s, min gap: repaints of the tree during the idle time, and the shortest gap between two")
EOF
