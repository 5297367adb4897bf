#!/usr/bin/env bash
# Runs the scene benchmark and the renderer's bare worst-case frame one
# after the other on the same core, three times in turn, and prints the
# ratio of the medians: the scene's own cost over the renderer's.
#     bench/scene/compare.sh [BUILD_DIR]   (a Release tree with both built)
set -euo pipefail
build=${1:-build/release}
core=${CORE:-1}
scene=() bare=()
for _ in 1 2 3; do
    scene+=("$(taskset -c "$core" "$build/bin/scene_bench" 80 | awk '/draw step median/ {print $4}')")
    bare+=("$(taskset -c "$core" "$build/bin/render_bench" --benchmark_repetitions=5 \
              --benchmark_report_aggregates_only=true 2>/dev/null | awk '/_median/ {print $4}')")
done
mid() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
s=$(mid "${scene[@]}") b=$(mid "${bare[@]}")
echo "draw step ${s} ms, bare frame ${b} ms (CPU, medians of three runs each)"
awk -v s="$s" -v b="$b" 'BEGIN { printf "ratio %.2f (goal: at most 1.30)\n", s / b }'
