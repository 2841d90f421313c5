# 64-bit Windows: the same sources, for machines where 32-bit Wine is missing or cannot run (the
# Wine tests run this build there; tools/wine-arch.sh decides).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
