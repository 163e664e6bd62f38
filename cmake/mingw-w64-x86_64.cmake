# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which Qt needs).
# Used for Qt itself and for Nimbrel; scripts/windows passes the Qt prefix as NIMBREL_WIN_QT.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_nimbrel_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_nimbrel_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_nimbrel_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_nimbrel_triple}-windres)
set(CMAKE_AR ${_nimbrel_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_nimbrel_triple}-ranlib CACHE FILEPATH "")

# try_compile projects re-read this file without the cache; let the prefix follow them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NIMBREL_WIN_QT)
if(NOT NIMBREL_WIN_QT AND DEFINED ENV{NIMBREL_WIN_QT})
    set(NIMBREL_WIN_QT $ENV{NIMBREL_WIN_QT})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_nimbrel_triple})
if(NIMBREL_WIN_QT)
    list(APPEND CMAKE_FIND_ROOT_PATH ${NIMBREL_WIN_QT})
endif()
# Host programs (moc, rcc, the Linux Qt tools) come from the build machine; headers, libraries
# and CMake packages only from the Windows roots, so nothing of the Linux Qt leaks in.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
