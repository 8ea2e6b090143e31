#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need, when missing.
# Idempotent and quick when everything is there. Usage: install-deps.sh [build|test]
#
# Recommended packages are not installed (--no-install-recommends), so whatever
# the programs need at run time is listed here by name, with the reason.
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config make
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg-dev libpng-dev libwebp-dev nlohmann-json3-dev libwmf-dev libemf2svg-dev librsvg2-dev
  libsdl2-dev libx11-dev libxext-dev libxfixes-dev libxtst-dev libfluidsynth-dev libgtk-3-dev
  libasound2-dev
  clang libclang-rt-14-dev libfuzzer-14-dev
  # make package: CPack's Debian generator works out the dependencies with
  # dpkg-shlibdeps.
  dpkg-dev
  # Scaled desktops and several monitors: the RandR 1.5 monitors of the X server.
  libxrandr-dev
  # sdtool render's videos: FFmpeg's libraries (libavcodec brings the x264,
  # libvpx, Opus and FLAC encoders as Debian builds it).
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
)
# What lurva and sdtool use at run time beyond the libraries they link.
runtime_packages=(
  # libwmf reads Ghostscript's font map and draws a metafile's text with these
  # fonts; without them it refuses every WMF picture.
  fonts-urw-base35
  # The General MIDI sound font the show's music is played with.
  timgm6mb-soundfont
  # Japanese glyphs for the settings dialog and the messages.
  fonts-ipaexfont-gothic
  # SDL's message boxes on X11 draw with the X server's core fonts.
  xfonts-base
  # The settings dialog's help button opens the help file with xdg-open.
  xdg-utils
)
test_packages=(
  xvfb xauth xdotool x11-apps x11-utils x11-xserver-utils imagemagick sox
  # Scaled desktops and several monitors: xrdb and xrandr (x11-xserver-utils
  # above) set them up on Xvfb; bench/lurva-figures.sh reads memory with pmap.
  procps
  # The include check of the layers (tests/CheckIncludes.py).
  python3
  # The installed tree and the package (tests/install): lintian, the desktop
  # entry's and the MIME type's checkers, gio behind xdg-mime, man, bash's
  # completion helpers and file, which names a picture's size.
  lintian desktop-file-utils libxml2-utils shared-mime-info libglib2.0-bin man-db bash-completion file
  # ffprobe and ffmpeg read back the videos of sdtool render in its tests.
  ffmpeg
)
windows_packages=(
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 wine wine64
)

# --- the web player (make web, its tests) ---
# emscripten compiles the core to WebAssembly offline from its frozen cache;
# chromium runs the web player's tests headless. node and npm fetch and run
# the npm packages of web/package-lock.json: Debian's nodejs and npm only when
# no node or npm command is there (another Node's npm conflicts with Debian's).
web_build_packages=(emscripten)
web_test_packages=(chromium)
if ! command -v node >/dev/null 2>&1; then web_build_packages+=(nodejs); fi
if ! command -v npm >/dev/null 2>&1; then web_build_packages+=(npm); fi

wanted=("${build_packages[@]}" "${runtime_packages[@]}" "${web_build_packages[@]}")
if [ "${1:-build}" = test ]; then
  wanted+=("${test_packages[@]}" "${windows_packages[@]}" "${web_test_packages[@]}")
fi

missing=()
for p in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=900 update -q
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
