# Cross-build for 32-bit Windows, which also runs on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
set(QUILLANE_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
