#!/usr/bin/env bash
# check-package.sh BUILD_DIR: builds the Debian package from the build tree
# with CPack into a temporary folder, checks its contents and metadata, and
# runs lintian on it: any error fails, warnings are listed.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    fail "cpack"
}
debs=("$out"/lurva_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single lurva_*.deb: ${debs[*]}"
deb=${debs[0]}
echo "built $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Worked out from the libraries the programs link.
for library in libsdl2 libgtk-3 libfluidsynth libjpeg libpng libwebp libc6 libstdc++6; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library"
done
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/lurva ./usr/bin/sdtool ./usr/share/man/man1/lurva.1.gz ./usr/share/man/man1/sdtool.1.gz \
    ./usr/share/doc/lurva/copyright ./usr/share/doc/lurva/changelog.Debian.gz ./usr/share/thumbnailers/lurva.thumbnailer; do
    grep -q " $path\( \|$\)" <<<"$contents" || fail "the package lacks $path"
done
grep -q " ./usr/libexec/xscreensaver/lurva -> ../../bin/lurva$" <<<"$contents" || fail "the package lacks the hack's link"

# lintian reads the package as root without complaint; --fail-on error makes
# only errors fail, and the rest is printed for the record.
lintian --tag-display-limit 0 --fail-on error --display-info "$deb" | tee "$out/lintian.txt" || fail "lintian reports errors"
echo "lintian: $(grep -c '^E:' "$out/lintian.txt" || true) errors, $(grep -c '^W:' "$out/lintian.txt" || true) warnings"
