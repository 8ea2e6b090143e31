#!/usr/bin/env bash
# Runs the program after a build. Usage: run-demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
# Until the show window exists, start lurva in configuration mode: with no
# window to open yet it ends at once, with exit code 0.
"$build/shell/lurva" /c
echo "lurva /c finished (exit code 0)"
