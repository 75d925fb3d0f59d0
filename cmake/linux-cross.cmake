# Cross-compiles for Linux on another processor with Debian's cross compilers.
# The preset names the target by two cache variables: its GNU triple (the
# compilers' prefix and the sysroot /usr/<triple>) and the qemu-user program
# that runs its programs.
set(QUELLOT_TARGET_TRIPLE "" CACHE STRING "GNU triple of the target, e.g. aarch64-linux-gnu")
set(QUELLOT_QEMU "" CACHE STRING "qemu-user program that runs the target's programs, e.g. qemu-aarch64")
if(NOT QUELLOT_TARGET_TRIPLE OR NOT QUELLOT_QEMU)
  message(FATAL_ERROR "linux-cross.cmake needs -DQUELLOT_TARGET_TRIPLE=... and -DQUELLOT_QEMU=...")
endif()
# The checks CMake compiles in projects of their own read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELLOT_TARGET_TRIPLE QUELLOT_QEMU)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${QUELLOT_TARGET_TRIPLE})
set(CMAKE_C_COMPILER ${QUELLOT_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QUELLOT_TARGET_TRIPLE}-g++)

# Appended to, so that a build may add trees of its own with -DCMAKE_FIND_ROOT_PATH.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUELLOT_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
