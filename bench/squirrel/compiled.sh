#!/usr/bin/env bash
# Times the benchmark scripts run from source and from their compiled 2.1.1
# form (written by make_compiled.py), alternating source and compiled runs,
# and prints the median of each and the ratio compiled/source.
#
#   usage: bench/squirrel/compiled.sh [SQ_INTERPRETER [RUNS]]
#
# SQ_INTERPRETER defaults to build/release/bin/sq, RUNS to 7; BENCHMARKS="fib
# loops" limits the scripts. Every run must
# print the benchmark's checksum line. Exit status 1 when a run failed.

set -u
export LC_ALL=C

here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
root=$(cd -- "$here/../.." && pwd)
sq=${1:-$root/build/release/bin/sq}
runs=${2:-7}
benchdir=${SQ_BENCH_DIR:-$root/../shared/squirrel/bench}
[[ -x $sq ]] || { echo "compiled.sh: interpreter $sq not found" >&2; exit 1; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "compiled.sh: RUNS must be a positive integer" >&2; exit 1; }
sq=$(cd -- "$(dirname -- "$sq")" && pwd)/$(basename -- "$sq")

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
python3 "$here/make_compiled.py" "$out" || exit 1

declare -A expect=()
re='^\| `([A-Za-z0-9_]+)\.nut` \|.*\| `(checksum [^`]*)` \|[[:space:]]*$'
while IFS= read -r line; do
	[[ $line =~ $re ]] && expect[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
done <"$benchdir/README.md"

# One timed run: prints milliseconds, or fails on a wrong checksum.
timed() {
	local dir=$1 name=$2 start end printed
	start=$(date +%s%N)
	printed=$(cd -- "$dir" && "$sq" "$name.nut" </dev/null 2>/dev/null) || return 1
	end=$(date +%s%N)
	[[ $printed == "${expect[$name]:-?}" ]] || return 1
	echo $(((end - start) / 1000000))
}

median() {
	local sorted
	mapfile -t sorted < <(printf '%s\n' "$@" | sort -n)
	echo "${sorted[${#sorted[@]} / 2]}"
}

status=0
printf '%-8s %10s %12s %7s\n' benchmark "source s" "compiled s" ratio
for b in ${BENCHMARKS:-fib loops methods tables arrays strings closures matrix}; do
	source_ms=() compiled_ms=()
	for ((r = 0; r < runs; r++)); do
		t=$(timed "$benchdir" "$b") || { echo "compiled.sh: $b source run failed" >&2; status=1; continue 2; }
		source_ms+=("$t")
		t=$(timed "$out" "$b") || { echo "compiled.sh: $b compiled run failed" >&2; status=1; continue 2; }
		compiled_ms+=("$t")
	done
	s=$(median "${source_ms[@]}")
	c=$(median "${compiled_ms[@]}")
	printf '%-8s %10s %12s %7s\n' "$b" "$(awk "BEGIN{printf \"%.3f\", $s/1000}")" \
		"$(awk "BEGIN{printf \"%.3f\", $c/1000}")" "$(awk "BEGIN{printf \"%.3f\", $c/$s}")"
done
exit $status
