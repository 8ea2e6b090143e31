#!/usr/bin/env bash
# Runs the program after a build. Usage: run-demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
"$build/tools/sdtool" --help
