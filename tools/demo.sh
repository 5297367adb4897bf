#!/usr/bin/env bash
# Builds the program and plays the demo game. Extra arguments go to the
# program, e.g. ./tools/demo.sh --zoom 2
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install_deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$(nproc)" --target tesserae pad_plugin
# The pad plug-in lives beside the game, where games look for it.
cp build/release/lib/input.so game/input.so
exec ./build/release/bin/tesserae "$@" game
