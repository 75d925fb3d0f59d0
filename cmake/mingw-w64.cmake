# Cross-compiles for Windows with Debian's MinGW-w64. The preset names the
# target by its GNU triple: x86_64-w64-mingw32 (64-bit) or i686-w64-mingw32
# (32-bit). The -posix compilers are used because the -win32 ones have no
# std::mutex or std::thread.
set(QUELLOT_TARGET_TRIPLE "" CACHE STRING "GNU triple of the target, e.g. x86_64-w64-mingw32")
if(NOT QUELLOT_TARGET_TRIPLE MATCHES "^(x86_64|i686)-w64-mingw32$")
  message(FATAL_ERROR "mingw-w64.cmake needs -DQUELLOT_TARGET_TRIPLE=x86_64-w64-mingw32 or i686-w64-mingw32")
endif()
# The checks CMake compiles in projects of their own read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELLOT_TARGET_TRIPLE)

set(CMAKE_SYSTEM_NAME Windows)
if(QUELLOT_TARGET_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR X86)
endif()

set(triple ${QUELLOT_TARGET_TRIPLE})
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_OBJDUMP ${triple}-objdump)

# Appended to, so that a build may add trees of its own with -DCMAKE_FIND_ROOT_PATH.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
