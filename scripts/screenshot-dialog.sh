#!/usr/bin/env bash
# Takes the README's picture of the settings dialog: `lurva /c` on a private
# Xvfb, with a show and the mouse option stored.
# Usage: screenshot-dialog.sh [BUILD_DIR] [OUTPUT.png]   (needs xvfb, xdotool, imagemagick)
set -euo pipefail
build=${1:-build}
out=${2:-docs/settings-dialog.png}
work=$(mktemp -d)
xvfb=""
lurva=""
cleanup() {
  [ -n "$lurva" ] && kill "$lurva" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server writes its display number to fd 3 once it takes clients.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(cat "$work/display")"

mkdir -p "$work/config/lurva" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/config/lurva/registry.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Kelvo\rororade\main]
"filename0"="/home/user/shows/demo.sdt"
"ignoreMouseMove"=dword:00000001
REG

run() {
  env -i PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display" HOME="$work" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" LURVA_WINDOW_DIR="$work/windows" GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 "$@"
}
run "$build/shell/lurva" /c &
lurva=$!
window=$(run timeout 15 xdotool search --sync --onlyvisible --name '^設定$' | head -n 1)
sleep 0.5  # let it draw
mkdir -p "$(dirname "$out")"
run import -window "$window" -strip "$out"
run xdotool windowfocus --sync "$window" key Escape
timeout 10 tail --pid="$lurva" -f /dev/null || true
lurva=""
echo "wrote $out"
