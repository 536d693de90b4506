# Cross build for ARM64 Linux with Debian's cross compilers
# (g++-aarch64-linux-gnu); programs and tests run under qemu-user.
# Needs CMake 3.20 or later (the tests generate an executable launcher script).
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DKELTO_GTEST_FROM_SOURCE=ON
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Target headers and libraries only from the cross sysroot; host programs.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and gtest_discover_tests run the test executables through this.
# The C library must come from the cross sysroot, like its loader: where
# Debian's multiarch arm64 packages are installed too (zlib and libzstd
# for the target), the host's loader cache would otherwise hand the cross
# loader the multiarch libc, a mix that hangs threaded programs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib)
