#!/usr/bin/env bash
# Plays the demo in a real window on a virtual X server and photographs the
# screen twice: the title, then the level after button 0 has been pressed
# through scripted input. Proves the windowed path (SDL window, renderer,
# presentation) works. Not part of the test command: it needs xvfb, xauth
# and xwd (x11-apps); the screen dumps become PNG files through
# tools/xwd_to_png.py.
#
#   ./tools/window_check.sh [OUT_PREFIX]   (default: window_check)
#
# writes OUT_PREFIX-title.png and OUT_PREFIX-level.png.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(realpath -m "${1:-window_check}")
binary=$(realpath build/release/bin/tesserae)
[[ -x $binary ]] || { echo "build first: ./tools/demo.sh or cmake --build build/release" >&2; exit 2; }
game=$(mktemp -d)
trap 'rm -rf "$game"' EXIT
cp -R game/. "$game/"
# Pad button 0 pressed on the title's first item ("START") once the title
# is up (a real window takes scripted pad readings; keys and the mouse are
# its own).
cat > "$game/window_check_input.txt" <<'EOF'
60 pad 0 0 10000000
70 pad 0 0 00000000
EOF
export binary game prefix
export topng=$(realpath tools/xwd_to_png.py)
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    SDL_RENDER_DRIVER=software "$binary" --frames 260 --input "$game/window_check_input.txt" "$game" &
    pid=$!
    sleep 1.5
    xwd -root -silent | python3 "$topng" "$prefix-title.png"
    sleep 4.5
    xwd -root -silent | python3 "$topng" "$prefix-level.png"
    wait $pid'
echo "screens written to $prefix-title.png and $prefix-level.png"
