# Cross-compiles for ARM64 Linux with Debian's toolchain (g++-aarch64-linux-gnu,
# libc6-dev-arm64-cross), and runs what it builds under qemu-user
# (qemu-user), so that the engine's tests run, the NEON kernel among them.
# Debian has no GoogleTest for ARM64 beside the build machine's, so its
# sources (libgtest-dev: /usr/src/googletest) are built with the rest:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DRECODIA_BUILD_TESTS=ON -DRECODIA_GTEST_SOURCE=/usr/src/googletest
#   cmake --build build-arm64 -j2 --target recodia_engine_tests
#   ctest --test-dir build-arm64 -L engine
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(RECODIA_ARM64_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${RECODIA_ARM64_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${RECODIA_ARM64_PREFIX}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${RECODIA_ARM64_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${RECODIA_ARM64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
