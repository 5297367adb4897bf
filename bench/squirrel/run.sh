#!/usr/bin/env bash
# Times our Squirrel interpreter on the benchmark scripts of the shared
# Squirrel reference (../shared/squirrel/bench beside the repository).
#
#   usage: bench/squirrel/run.sh [SQ_INTERPRETER [RUNS]]
#
# SQ_INTERPRETER defaults to build/sq/bin/sq, RUNS to 5. Every run must exit 0
# and print the checksum line listed for the script in the benchmark folder's
# README.md. Prints the median, fastest and slowest wall time per script.
# SQ_BENCH_DIR overrides the benchmark folder; BENCHMARKS="fib loops" limits
# the scripts. Exit status 1 when a run failed or printed a wrong checksum.

set -u
export LC_ALL=C

here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
root=$(cd -- "$here/../.." && pwd)
sq=${1:-$root/build/sq/bin/sq}
runs=${2:-5}
benchdir=${SQ_BENCH_DIR:-$root/../shared/squirrel/bench}

if [[ ! -x $sq ]]; then
	echo "run.sh: interpreter $sq not found (build the sq target first)" >&2
	exit 1
fi
if [[ ! -f $benchdir/README.md ]]; then
	echo "run.sh: benchmark folder $benchdir not found" >&2
	exit 1
fi
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: RUNS must be a positive integer" >&2; exit 1; }
sq=$(cd -- "$(dirname -- "$sq")" && pwd)/$(basename -- "$sq")

declare -A expect=()
re='^\| `([A-Za-z0-9_]+)\.nut` \|.*\| `(checksum [^`]*)` \|[[:space:]]*$'
while IFS= read -r line; do
	[[ $line =~ $re ]] && expect[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
done <"$benchdir/README.md"

benches=${BENCHMARKS:-fib loops methods tables arrays strings closures matrix}
cd -- "$benchdir" || exit 1
status=0
printf '%-10s %9s %9s %9s\n' benchmark "median s" "min s" "max s"
for b in $benches; do
	times=()
	ok=1
	for ((r = 0; r < runs; r++)); do
		start=$(date +%s%N)
		out=$("$sq" "$b.nut" </dev/null 2>/dev/null)
		rc=$?
		end=$(date +%s%N)
		if [[ $rc -ne 0 || $out != "${expect[$b]:-?}" ]]; then
			echo "run.sh: $b: exit status $rc, printed '${out:0:200}'" >&2
			ok=0
			break
		fi
		times+=($(((end - start) / 1000000)))
	done
	if ((!ok)); then
		printf '%-10s %s\n' "$b" FAILED
		status=1
		continue
	fi
	mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
	n=${#sorted[@]}
	if ((n % 2)); then
		med=${sorted[n / 2]}
	else
		med=$(((sorted[n / 2 - 1] + sorted[n / 2]) / 2))
	fi
	fmt() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
	printf '%-10s %9s %9s %9s\n' "$b" "$(fmt "$med")" "$(fmt "${sorted[0]}")" "$(fmt "${sorted[n - 1]}")"
done
exit $status
