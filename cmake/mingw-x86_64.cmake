# Cross build of the 64-bit Windows build: the same code, for running the tests where 32-bit programs
# cannot run.
set(MINGW_PROCESSOR x86_64)
set(MINGW_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
