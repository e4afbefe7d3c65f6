# Cross build for Windows with the i686 MinGW-w64 compilers.
set(MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
