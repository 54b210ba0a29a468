# Cross-compiles the native Windows program (x86-64) with mingw-w64 on Debian:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows -j2 --target recodia      # build-windows/recodia.exe
# The "-posix" compilers use the POSIX thread model, which libstdc++'s
# <thread> and <mutex> need; the program is linked statically (see
# CMakeLists.txt), so recodia.exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RECODIA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RECODIA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RECODIA_MINGW_PREFIX}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${RECODIA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

