# Cross build for 64-bit Windows (x64): runs on 64-bit Windows from 7 on, under Wine's wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TESSARY_MINGW_TRIPLET x86_64-w64-mingw32)
set(TESSARY_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
