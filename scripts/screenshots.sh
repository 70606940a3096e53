#!/usr/bin/env bash
# Takes the screenshots in docs/ under a virtual X display (needs xvfb, xdotool, imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$PWD/build/default/bin
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$scratch"' EXIT
export XDG_DATA_HOME=$scratch/data XDG_CONFIG_HOME=$scratch/config XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1100x760x24 >/dev/null 2>&1 &
sleep 1
"$bin/quillbox" init --samples >/dev/null

shoot() { # window name, output file
  local id
  id=$(xdotool search --sync --name "$1" | head -1)
  sleep 1.5
  import -window "$id" "$2"
}

"$bin/quillbox" &
id=$(xdotool search --sync --name '^Quillbox ver 1.0$' | head -1)
sleep 1.5
# Generate Code from the toolbar, then pick the first heading with the keyboard.
eval "$(xdotool getwindowgeometry --shell "$id")"
xdotool mousemove $((X + 166)) $((Y + 24 + 16)) click 1
sleep 1
xdotool mousemove $((X + 400)) $((Y + 24 + 90)) click 1
sleep 0.5
xdotool key Down Return
sleep 1.5
xdotool mousemove $((X + 700)) $((Y + 24 + 500))
sleep 0.5
import -window "$id" docs/main-window.png
kill %2; wait %2 2>/dev/null || true

"$bin/quillbox-host" --register "$bin/quillbox-addin.so" >/dev/null
"$bin/quillbox-host" &
id=$(xdotool search --sync --name '^Quillbox Host' | head -1)
sleep 1.5
xdotool windowactivate "$id" 2>/dev/null || true
xdotool mousemove 67 9 click 1
sleep 1
import -window root -crop 700x500+0+0 docs/host-addins-menu.png
