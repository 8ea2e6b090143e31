# Cross-build for 64-bit Windows with mingw-w64; programs run under wine.
# Use: cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LURVA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LURVA_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${LURVA_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${LURVA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${LURVA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLLs beside the programs: the C and C++ runtimes are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Programs built here (tests, test discovery) run through wine. The project
# appends the private prefix in its build tree (cmake/platforms/win32.cmake).
get_filename_component(LURVA_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${LURVA_WINE_RUN})
