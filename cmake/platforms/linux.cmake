# Linux / POSIX desktop: dependencies found through pkg-config.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
set(LURVA_POSIX ON)
pkg_check_modules(FLUIDSYNTH REQUIRED IMPORTED_TARGET fluidsynth)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
# The window backend: SDL2 on X11, with Xlib for the desktop image and
# embedding (Debian's libsdl2-dev, libx11-dev, libxext-dev).
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xext)
