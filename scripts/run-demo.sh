#!/usr/bin/env bash
# Plays the demo show the build made (BUILD_DIR/demo/demo.sdt) full screen.
# Without a display it renders the demo to an animated WebP instead.
# Usage: run-demo.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
demo="$build/demo/demo.sdt"
if [ ! -f "$demo" ]; then
  echo "run-demo.sh: $demo is missing; build first (make build)" >&2
  exit 1
fi

# Settings and "System.ini" of the demo live in the build directory, so your
# own screen saver settings stay as they are.
export XDG_CONFIG_HOME="$build/demo/config"
mkdir -p "$XDG_CONFIG_HOME"

if [ -n "${DISPLAY:-}" ] && "$build/tools/display_probe"; then
  echo "Playing the demo full screen. Press any key, click, or move the mouse to end it."
  echo "(Its settings and System.ini are in $XDG_CONFIG_HOME.)"
  "$build/shell/lurva" "$demo"
  echo "The demo has ended."
else
  out="$build/demo/demo.webp"
  echo "No display here: rendering the demo's first minute (one loop) instead."
  "$build/tools/sdtool/sdtool" render "$demo" -o "$out" --size 960x540 --ticks 0-599
  echo "The demo is in $out (an animated WebP; open it in a web browser)."
fi
