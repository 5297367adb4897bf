#!/usr/bin/env bash
# Builds and runs one libFuzzer harness: fuzz/run.sh NAME SECONDS
# (NAME: fuzz_NAME.cpp, seeded from fuzz/corpus/NAME/, with the dictionary
# fuzz/NAME.dict when there is one). New inputs go to
# build/fuzz/corpus-NAME, crashes, hangs (over 5 s) and leaks to
# build/fuzz/; the CPU time is printed. One core: run one at a time.
# Warnings stay warnings: clang-14 warns where the project's gcc does not.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 NAME SECONDS" >&2; exit 2; }
name=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DTESSERAE_FUZZ=ON -DTESSERAE_TESTS=OFF -DTESSERAE_BENCH=OFF -DTESSERAE_WERROR=OFF > /dev/null
cmake --build "$build" -j2 --target "fuzz_$name" > /dev/null
mkdir -p "$build/corpus-$name"
dict=
case $name in
	field) dict=$root/fuzz/mesh.dict ;;
	*) [ -f "$root/fuzz/$name.dict" ] && dict=$root/fuzz/$name.dict ;;
esac
cd "$build"
TIMEFORMAT='cpu: user %U s, system %S s, wall %R s'
# Absolute paths: the model harnesses change into a scratch folder.
# Reproducers of past findings seed the run too.
found=$root/tests/data/fuzz/$name
[ -d "$found" ] || found=
time "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 -artifact_prefix="$build/" \
	${dict:+-dict="$dict"} "$build/corpus-$name" "$root/fuzz/corpus/$name" ${found:+"$found"}
