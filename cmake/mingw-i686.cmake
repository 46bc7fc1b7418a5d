# Cross build for 32-bit Windows with the MinGW-w64 compilers of Debian: the
# program that ships. Its tests run here under the 32-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VELASTROM_MINGW_PREFIX i686-w64-mingw32)
# The POSIX thread model gives the full C++ thread library; everything is
# linked statically, so no runtime DLL has to travel with the program.
find_program(CMAKE_CXX_COMPILER NAMES ${VELASTROM_MINGW_PREFIX}-g++-posix ${VELASTROM_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${VELASTROM_MINGW_PREFIX}-gcc-posix ${VELASTROM_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELASTROM_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VELASTROM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under the 32-bit Wine loader, in a 32-bit prefix of
# their own (see tests/win32/run-under-wine).
find_program(VELASTROM_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELASTROM_WINE})
