# mingw-w64 GCC for x86 Windows.
set(CMAKE_SYSTEM_PROCESSOR X86)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/gcc-mingw.cmake)
