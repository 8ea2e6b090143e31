# Windows (mingw-w64): a static module with no DLLs beside it.
set(LURVA_WIN32 ON)

# Unicode Win32 API throughout (the W functions), nothing older than Windows 7.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Cross-built programs run under wine in a private prefix of this build tree,
# made on first use by scripts/wine-run.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine-run$")
  set(LURVA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR} --prefix=${LURVA_WINEPREFIX})
endif()
