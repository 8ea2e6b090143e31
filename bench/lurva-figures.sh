#!/usr/bin/env bash
# lurva-figures.sh: the real lurva program on an Xvfb of its own, playing ten
# moving 64x64 characters (with the demo's tune): its CPU share and the X
# server's, the time from start to the first frame on screen, its resident
# memory, and where the memory goes.
# Usage: bench/lurva-figures.sh [BUILD_DIR] [WIDTHxHEIGHT] [SCALE] [SECONDS]
#   SCALE is set as the desktop's Xft.dpi (96 x SCALE), as a desktop sets it.
# Needs Xvfb, xrdb and ImageMagick (scripts/install-deps.sh test).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
size=${2:-1920x1080}
scale=${3:-1}
seconds=${4:-60}
lurva="$build/shell/lurva"
sdtool="$build/tools/sdtool/sdtool"
probe="$build/bench/liblurva_first_frame_probe.so"
tune="$build/demo/assets/tune.mid"
for f in "$lurva" "$sdtool" "$probe"; do
  [ -e "$f" ] || { echo "lurva-figures.sh: $f is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=0
show=0
cleanup() {
  [ "$show" -gt 0 ] && kill "$show" 2>/dev/null || true
  [ "$xvfb" -gt 0 ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The show: ten characters of two 64x64 frames each, keyed on white, walking
# across the screen in rows, over a colour background.
for c in $(seq 0 9); do
  for f in 0 1; do
    convert -size 64x64 xc:white -fill "hsl($((c * 36)),80%,$((40 + f * 20))%)" \
      -draw "circle 32,32 32,3" "BMP3:$work/c$c-$f.bmp"
  done
done
{
  printf '{"loopTime": 60, "setting": {"backMode": 0, "backColor": 4210752, "playBgm": %s}' \
    "$([ -f "$tune" ] && echo true || echo false)"
  [ -f "$tune" ] && printf ', "bgm": "%s"' "$tune"
  printf ', "charactors": ['
  awk 'BEGIN {
    for (c = 0; c < 10; c++) {
      printf "%s{\"name\": \"c%d\", \"transparent\": true, \"frames\": [\"c%d-0.bmp\", \"c%d-1.bmp\"], \"points\": [", (c ? "," : ""), c, c, c
      for (p = 0; p < 600; p++)
        printf "%s[%.4f, %.4f]", (p ? "," : ""), 0.05 + 0.9 * p / 600, 0.05 + 0.09 * c
      printf "]}"
    }
  }'
  printf ']}\n'
} > "$work/show.json"
"$sdtool" pack "$work/show.json" -o "$work/show.sdt" >/dev/null

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 "${size}x24" -noreset -nolisten tcp 2>/dev/null &
xvfb=$!
read -r -t 10 number <&3
export DISPLAY=":$number"
echo "Xft.dpi: $((96 * scale))" | xrdb -merge

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" SDL_AUDIODRIVER=dummy
mkdir -p "$XDG_RUNTIME_DIR"
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

start=$(date +%s.%N)
LD_PRELOAD="$probe" LURVA_FIRST_FRAME_FILE="$work/first" "$lurva" "$work/show.sdt" 2>"$work/stderr" &
show=$!
for _ in $(seq 1 1000); do [ -s "$work/first" ] && break; sleep 0.01; done
[ -s "$work/first" ] || { echo "no frame came; lurva said:" >&2; cat "$work/stderr" >&2; exit 1; }
first=$(awk '{ print $2 }' "$work/first")

sleep 2  # past the start-up, into the steady steps
l0=$(ticks "$show"); x0=$(ticks "$xvfb")
sleep "$seconds"
l1=$(ticks "$show"); x1=$(ticks "$xvfb")

echo "screen $size, scale $scale (Xft.dpi $((96 * scale))), $seconds s of steps"
awk -v a="$start" -v b="$first" 'BEGIN { printf "start to first frame: %.0f ms\n", (b - a) * 1000 }'
awk -v t=$((l1 - l0)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "lurva CPU: %.3f %% of one core\n", 100 * t / hz / s }'
awk -v t=$((x1 - x0)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "Xvfb CPU:  %.3f %% of one core\n", 100 * t / hz / s }'
grep -E '^(VmRSS|VmHWM|RssAnon|RssFile|RssShmem)' "/proc/$show/status"
echo "largest mappings (KB resident):"
pmap -x "$show" | awk '$1 ~ /^[0-9a-f]+$/ && NF >= 6 { name = $6; for (i = 7; i <= NF; i++) name = name " " $i; print $3, name }' \
  | sort -n -r | head -8 | awk '{ printf "  %8s  ", $1; $1 = ""; print substr($0, 2) }'
kill -TERM "$show"
wait "$show" || true
show=0
