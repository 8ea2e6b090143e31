#!/usr/bin/env bash
# How long sdtool render takes to write the demo's first minute (600 steps)
# as each video format, at 1280x720 and 1920x1080, each run repeated.
# Usage: bench/video-speed.sh [BUILD_DIR] [REPEATS]   (default: build 2)
# Prints one line per run: format, size, seconds (wall clock), CPU seconds
# (user + system, over all threads), file size. The machine's load average
# is printed first, since other work on it slows every figure.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
repeats=${2:-2}
sdtool="$build/tools/sdtool/sdtool"
demo="$build/demo/demo.sdt"
[ -x "$sdtool" ] && [ -f "$demo" ] || { echo "video-speed.sh: build first (make build)" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for size in 1280x720 1920x1080; do
  for format in mp4 webm mkv gif; do
    for _ in $(seq "$repeats"); do
      TIMEFORMAT='%R %U %S'
      times=$( { time "$sdtool" render "$demo" -o "$out/demo.$format" --size "$size" --ticks 0-599 --quiet; } 2>&1 )
      awk -v f="$format" -v s="$size" -v b="$(stat -c %s "$out/demo.$format")" -v t="$times" \
        'BEGIN { split(t, x, " "); printf "%-5s %-9s %6.2f s  cpu %6.2f s  %9d bytes\n", f, s, x[1], x[2] + x[3], b }'
    done
  done
done
