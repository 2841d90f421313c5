# 64-bit Windows: the same sources, for machines whose kernel cannot run 32-bit code and so cannot
# run 32-bit Wine; the Wine tests run this build there.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
