# Shared part of the MinGW-w64 toolchain files (posix thread model); CV_MINGW_PREFIX names the target.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${CV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${CV_MINGW_PREFIX}-windres)
set(CMAKE_AR ${CV_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CV_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${CV_MINGW_PREFIX}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${CV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the stub and the test programs must run with no MinGW DLL beside them. Sections
# per function let the linker drop what the stub does not use.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
