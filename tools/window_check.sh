#!/usr/bin/env bash
# Plays the demo in a real window on a virtual X server and photographs the
# screen, to prove the windowed path (SDL window, renderer, presentation)
# works. Not part of the test command: it needs xvfb, xauth, xwd and
# ImageMagick's convert.
#
#   ./tools/window_check.sh [OUT.png]     (default: window_check.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-window_check.png}")
binary=$(realpath build/release/bin/tesserae)
[[ -x $binary ]] || { echo "build first: ./tools/demo.sh or cmake --build build/release" >&2; exit 2; }
game=$(mktemp -d)
trap 'rm -rf "$game"' EXIT
cp -R game/. "$game/"
export binary game out
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    SDL_RENDER_DRIVER=software "$binary" --frames 60 "$game" &
    pid=$!
    sleep 1.5
    xwd -root -silent | convert xwd:- "$out"
    wait $pid'
echo "screen written to $out"
