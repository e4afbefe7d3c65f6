# Cross build for Windows with the x86_64 MinGW-w64 compilers.
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
