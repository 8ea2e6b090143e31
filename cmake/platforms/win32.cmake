# Windows (mingw-w64): a static module with no DLLs beside it.
set(LURVA_WIN32 ON)
