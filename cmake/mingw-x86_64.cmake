# Cross-build for 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(QUILLANE_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
