#!/bin/bash
# Builds galvorn_bench_discovery against an earlier commit, for the before column of
# bench/run-discovery-bench.sh:
#
#   build-discovery-baseline.sh COMMIT OUT_DIR
#
# Unpacks COMMIT into OUT_DIR/src (the repository itself is not touched), adds this
# tree's bench source and target to it, and builds that target in release mode into
# OUT_DIR/build, which is then the BASELINE_BUILD_DIR of run-discovery-bench.sh.
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: $0 COMMIT OUT_DIR" >&2; exit 2; }
commit=$1
out=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")
repo=$(git -C "$here" rev-parse --show-toplevel)

mkdir -p "$out/src"
git -C "$repo" archive "$commit" | tar -x -C "$out/src"
cp "$here/discovery_bench.cpp" "$here/discovery_bench.cmake" "$out/src/bench/"
if ! grep -q discovery_bench.cmake "$out/src/bench/CMakeLists.txt"; then
    printf '\ninclude(discovery_bench.cmake)\n' >>"$out/src/bench/CMakeLists.txt"
fi
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$out/src" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$out/build" --target galvorn_bench_discovery -j"$(nproc)"
echo "$out/build"
