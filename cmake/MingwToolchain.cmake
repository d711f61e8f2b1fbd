# What both Windows cross builds share, with Debian's mingw-w64 (the posix thread model, which
# has std::thread and <filesystem>). The including toolchain file sets TESSARY_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR first. Programs are linked statically so that they run anywhere, Wine
# included, without the toolchain's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TESSARY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSARY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSARY_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TESSARY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# -O2 for Release, as the Linux package is built: CMake's -O3 takes a sixth longer to compile, on
# every run of the tests. Cached before the compiler's defaults are, so a given value still wins.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags used by the C compiler for Release")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags used by the C++ compiler for Release")

# Test executables run through Wine; ctest puts this in front of each of them, by way of a script
# that starts a program again when Wine's client, not the program, failed. The caller names the
# loader to look for (Debian's /usr/bin/wine starts the 32-bit loader whenever it is installed,
# so a 64-bit build asks for wine64 by name).
find_program(TESSARY_WINE NAMES ${TESSARY_WINE_NAMES} PATHS /usr/lib/wine)
if(TESSARY_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      bash ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh ${TESSARY_WINE})
endif()
