# Cross build for 32-bit Windows (x86): runs on every Windows from 7 on, 32- or 64-bit.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TESSARY_MINGW_TRIPLET i686-w64-mingw32)
set(TESSARY_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
