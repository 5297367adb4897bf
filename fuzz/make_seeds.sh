#!/usr/bin/env bash
# Rewrites the seed corpora in fuzz/corpus/: the binary and text formats
# from the tests' builders (fuzz_make_seeds, built in build/release), the
# Squirrel sources from the language tests and the test games. The
# compiled-script seeds of fuzz_bytecode are kept as they are.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j2 --target fuzz_make_seeds > /dev/null
for name in image palette wave midi startup input_script datastore mesh model anime description field script; do
	rm -rf "$root/fuzz/corpus/$name"
done
"$build/bin/fuzz_make_seeds" "$root/fuzz/corpus"
mkdir -p "$root/fuzz/corpus/script"
# Test scripts under 4 KiB, named after their folder and file.
find "$root/tests/data/squirrel" "$root/tests/games" -name '*.nut' -size -4k | sort | while read -r file; do
	relative=${file#"$root/tests/"}
	cp "$file" "$root/fuzz/corpus/script/$(echo "$relative" | tr '/' '_')"
done
echo "script seeds: $(ls "$root/fuzz/corpus/script" | wc -l)"
