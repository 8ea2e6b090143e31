# The web player (emscripten): the core in WebAssembly, no system library.
# Files live in the module's memory file system, so the POSIX file services
# serve as they are; the rest of the system comes from platform/web.
set(LURVA_WEB ON)
# The loaders raise C++ exceptions for bad files.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
# The system services are linked whole (platform/CMakeLists.txt); emscripten's
# platform file does not name the feature, its linker has the flags.
set(CMAKE_LINK_LIBRARY_USING_WHOLE_ARCHIVE "LINKER:--whole-archive" "<LINK_ITEM>" "LINKER:--no-whole-archive")
set(CMAKE_LINK_LIBRARY_USING_WHOLE_ARCHIVE_SUPPORTED TRUE)
