#!/usr/bin/env bash
# Builds and runs one libFuzzer harness: fuzz/run.sh NAME SECONDS
# (NAME: fuzz_NAME.cpp, seeded from fuzz/corpus/NAME/). New inputs go to
# build/fuzz/corpus-NAME, crashes to build/fuzz/; the CPU time is printed.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 NAME SECONDS" >&2; exit 2; }
name=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DTESSERAE_FUZZ=ON -DTESSERAE_TESTS=OFF -DTESSERAE_BENCH=OFF \
	-DTESSERAE_SKIP="render;graphics;data;sound;model;scene;script;app" > /dev/null
cmake --build "$build" -j2 --target "fuzz_$name" > /dev/null
mkdir -p "$build/corpus-$name"
cd "$build"
TIMEFORMAT='cpu: user %U s, system %S s, wall %R s'
time "$build/bin/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
	"$build/corpus-$name" "$root/fuzz/corpus/$name"
