# Linux / POSIX desktop: dependencies found through pkg-config.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
set(LURVA_POSIX ON)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
# ALSA's own error printing is switched off by the music player (libasound2-dev).
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# The window backend: SDL2 on X11, with Xlib for the desktop image and
# embedding (Debian's libsdl2-dev, libx11-dev, libxext-dev).
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xext)
# The monitors as RandR 1.5 describes them (libxrandr-dev): SDL reports one
# display for a screen whose monitors are given that way.
pkg_check_modules(XRANDR REQUIRED IMPORTED_TARGET xrandr)
# Metafiles: both kinds become SVG, Windows metafiles through libwmf
# (libwmf-dev), enhanced ones through libemf2svg (libemf2svg-dev, no
# pkg-config file), drawn by librsvg on cairo (librsvg2-dev).
pkg_check_modules(LIBWMF REQUIRED IMPORTED_TARGET libwmf)
pkg_check_modules(RSVG REQUIRED IMPORTED_TARGET librsvg-2.0 cairo)
find_path(EMF2SVG_INCLUDE_DIR emf2svg.h REQUIRED)
find_library(EMF2SVG_LIBRARY emf2svg REQUIRED)
add_library(lurva_emf2svg INTERFACE IMPORTED)
target_include_directories(lurva_emf2svg INTERFACE ${EMF2SVG_INCLUDE_DIR})
target_link_libraries(lurva_emf2svg INTERFACE ${EMF2SVG_LIBRARY})
