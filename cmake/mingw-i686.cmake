# Cross build of the 32-bit Windows program.
set(MINGW_PROCESSOR i686)
set(MINGW_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
