# CheckModuleImports.cmake: fails unless MODULE imports only DLLs that every
# Windows has (the C and C++ runtimes must be linked in, no DLLs beside it).
# cmake -DOBJDUMP=... -DMODULE=... -P CheckModuleImports.cmake
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls kernel32 user32 gdi32 advapi32 shell32 comdlg32 comctl32 ole32 oleaut32
  winmm imm32 msvcrt windowscodecs shlwapi version uxtheme)
set(foreign "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: ([^.]+)\\.dll.*" "\\1" dll "${line}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls)
    list(APPEND foreign "${dll}.dll")
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${MODULE} needs DLLs that Windows does not have: ${foreign}")
endif()
list(LENGTH imports count)
message(STATUS "${MODULE}: ${count} system DLLs imported, nothing else")
