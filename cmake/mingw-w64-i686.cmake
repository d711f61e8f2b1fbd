# Cross build for 32-bit Windows with Debian's mingw-w64 (the posix thread model, which has
# std::thread and <filesystem>). Programs are linked statically so that they run anywhere,
# Wine included, without the toolchain's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TESSARY_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSARY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARY_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSARY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test executables run through Wine; ctest puts this in front of each of them.
find_program(TESSARY_WINE wine)
if(TESSARY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSARY_WINE})
endif()
