# Cross build for 64-bit Windows with the MinGW-w64 compilers of Debian: the
# build whose tests run here under the 64-bit Wine, which stands in for
# Windows (the shipped program is the 32-bit build).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELASTROM_MINGW_PREFIX x86_64-w64-mingw32)
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

# Test programs run under Wine. WINEPREFIX and WINEDEBUG come from the caller
# (scripts/test-windows).
find_program(VELASTROM_WINE NAMES wine wine64 PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELASTROM_WINE})
