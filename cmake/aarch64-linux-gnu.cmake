# Cross-builds the sweep, veskparser-sweep and their tests for 64-bit ARM Linux with Debian's
# g++-aarch64-linux-gnu; the tests run under qemu-aarch64 (Debian's qemu-user).
#   cmake -S . -B build/arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VESK_ARM_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VESK_ARM_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_ARM_PREFIX}-g++)

# Look for libraries and packages (Qt above all) for ARM only, never the host's.
set(VESK_ARM_ROOT /usr/${VESK_ARM_PREFIX})
set(CMAKE_FIND_ROOT_PATH ${VESK_ARM_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config too: the host's .pc files (liburing's) name the host's libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VESK_ARM_PREFIX}/pkgconfig:${VESK_ARM_ROOT}/lib/pkgconfig)

# Tests and test discovery run the ARM programs under qemu, with ARM's C library.
find_program(VESK_QEMU NAMES qemu-aarch64 qemu-aarch64-static)
if(VESK_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VESK_QEMU} -L ${VESK_ARM_ROOT})
endif()
