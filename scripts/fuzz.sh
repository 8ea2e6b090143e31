#!/usr/bin/env bash
# Runs one fuzz target with libFuzzer for a number of minutes and merges the
# inputs that reach new code into its corpus (fuzz/corpus/NAME), which the
# tests replay. Builds the instrumented tree (clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer) first when it is missing or out of date.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/fuzz.sh TARGET MINUTES

TARGET is one of: fuzz_sdt fuzz_bmp fuzz_ico fuzz_metafile regfile_fuzz
Runs TARGET for MINUTES minutes with -timeout=10 -rss_limit_mb=2048, then
merges the inputs that reached new code into fuzz/corpus/TARGET (regfile for
regfile_fuzz). A crash, leak, timeout or memory blow-up stops the run: its
input is left in build-fuzz/artifacts/TARGET/ and the status is 1. Copy it
into the corpus once it is mended, so that the tests replay it.

Environment: FUZZ_BUILD  the instrumented tree (default build-fuzz)
             JOBS        build jobs (default: the number of processors)
Exit status: 0 the run ended clean; 1 the target found a fault; 2 wrong
arguments or a failed build.
EOF
}

if [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
  usage
  exit 0
fi
if [ $# -ne 2 ]; then
  usage >&2
  exit 2
fi
target=$1
minutes=$2
case $target in
  fuzz_sdt | fuzz_bmp | fuzz_ico | fuzz_metafile) corpus_name=$target ;;
  regfile_fuzz) corpus_name=regfile ;;
  *) echo "fuzz.sh: unknown target '$target'" >&2; usage >&2; exit 2 ;;
esac
if ! [[ $minutes =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: MINUTES must be a whole number above 0, not '$minutes'" >&2
  exit 2
fi

here=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$here/build-fuzz}
jobs=${JOBS:-$(nproc)}
corpus=$here/fuzz/corpus/$corpus_name
artifacts=$build/artifacts/$target
"$here/scripts/install-deps.sh" build
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLURVA_FUZZ_INSTRUMENT=ON \
    -DBUILD_TESTING=OFF -DLURVA_BUILD_BENCH=OFF || exit 2
fi
cmake --build "$build" -j "$jobs" --target "$target" || exit 2

# New inputs are written into a scratch folder first; the merge then keeps
# only those that add coverage, so the committed corpus stays small.
mkdir -p "$artifacts" "$corpus"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lurva-fuzz-$target-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
options=(-timeout=10 -rss_limit_mb=2048 -max_total_time=$((minutes * 60)) -print_final_stats=1
         -artifact_prefix="$artifacts/")
if [ "$target" = fuzz_sdt ]; then
  options+=(-dict="$here/fuzz/fuzz_sdt.dict")
fi
echo "fuzz.sh: $target for $minutes min, corpus $corpus ($(ls "$corpus" | wc -l) inputs)"
status=0
"$build/fuzz/$target" "${options[@]}" "$scratch" "$corpus" || status=1
before=$(ls "$corpus" | wc -l)
"$build/fuzz/$target" -merge=1 -timeout=10 -rss_limit_mb=2048 "$corpus" "$scratch" >/dev/null 2>&1 || true
after=$(ls "$corpus" | wc -l)
echo "fuzz.sh: $((after - before)) new inputs merged into $corpus"
if [ $status -ne 0 ]; then
  echo "fuzz.sh: $target found a fault; its input is in $artifacts/" >&2
fi
exit $status
