# Cross toolchain: 64-bit Windows executables from Debian's MinGW-w64 with the
# posix thread model (std::thread, std::mutex and std::condition_variable work),
# linked statically so each program is one self-contained .exe. Windows
# executables built here run under Wine, which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Without the emulator CTest would try to run the .exe files directly and every
# Windows test would fail for a reason far from its cause: stop here instead.
find_program(VELMOR_WINE NAMES wine wine64 PATHS /usr/bin /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT VELMOR_WINE)
  message(FATAL_ERROR "wine not found: the Windows tests run under it (install the wine and wine64 packages; "
    "scripts/setup does)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMOR_WINE})
