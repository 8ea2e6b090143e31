#!/usr/bin/env bash
# Runs the program after a build. Usage: run-demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
# Until the show window exists, start the settings dialog: on a display it
# opens and waits for OK or Cancel; without one it says so and ends at once.
"$build/shell/lurva" /c
echo "lurva /c finished (exit code 0)"
