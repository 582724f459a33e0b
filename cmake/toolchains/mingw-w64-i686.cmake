# 32-bit Windows with Debian's MinGW-w64. Built to check that it compiles; not run here
# (a 32-bit Wine needs packages that change the base system).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KERFO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
