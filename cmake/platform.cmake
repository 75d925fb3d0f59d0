# Everything in the build that differs between Windows and Linux, and
# between the Linux targets: the host's own and those that qemu-user runs.

# quellot_warnings(target): the project's warning flags for one of its own
# targets (not for third-party code built alongside).
function(quellot_warnings target)
  # -Wno-psabi: on 32-bit ARM, GCC notes that it passes some C++ library
  # types differently since GCC 7.1; no interface of this project is C++.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-psabi)
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ${QUELLOT_WERROR})
endfunction()

# 32-bit x86, on Windows and on Linux.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|X86)$")
  set(QUELLOT_X86_32 ON)
else()
  set(QUELLOT_X86_32 OFF)
endif()

if(QUELLOT_X86_32)
  # The code that calls the probes (the reference host and its static
  # library, the tests, the benchmark) does its floating-point work in SSE
  # registers. Built for the x87 unit, GCC copies a float or double
  # argument through it, and an x87 load quiets a signalling NaN: the probe
  # would receive other bits than the caller meant to send. The shared
  # libraries, the probes among them, keep the target's baseline.
  add_compile_options("$<$<NOT:$<STREQUAL:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY>>:-msse2;-mfpmath=sse>")
endif()

if(WIN32)
  # x64 or x86: in the libraries' file and module names and the target's name.
  if(QUELLOT_X86_32)
    set(QUELLOT_WINDOWS_ARCH x86)
  else()
    set(QUELLOT_WINDOWS_ARCH x64)
  endif()
  # File names of the libraries, and so of their import libraries.
  set(QUELLOT_OUTPUT_NAME quellot_${QUELLOT_WINDOWS_ARCH})
  set(QUELLOT_EXACT_OUTPUT_NAME quellot_exact_${QUELLOT_WINDOWS_ARCH})
  # The files a host loads at run time.
  set(QUELLOT_RUNTIME_FILE_NAME "$<TARGET_FILE_NAME:quellot>")
  set(QUELLOT_EXACT_RUNTIME_FILE_NAME "$<TARGET_FILE_NAME:quellot_exact>")
  # Where an installed tree keeps the library a host loads: beside the programs.
  set(QUELLOT_INSTALL_RUNTIME_LIBDIR ${CMAKE_INSTALL_BINDIR})
  # Programs carry their C++ runtime inside, so they run under Wine or on a
  # clean Windows without MinGW's DLLs beside them.
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")
  # quellot-call starts at wmain, with its command line in wide characters.
  set(QUELLOT_WIDE_MAIN -municode)
  # The bench's peak-memory helper is POSIX: memory is measured on Linux.
  set(QUELLOT_PEAK_MEMORY OFF)

  # Wine runs the tests (see wine.cmake).
  include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
  set(QUELLOT_PLATFORM_TEST_ARGS --windows --emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  # The suite of binary_test.py that reads this platform's binaries.
  set(QUELLOT_BINARY_SUITE WindowsDll)
  # The target's name in package file names and in binary_test.py's facts.
  set(QUELLOT_TARGET windows-${QUELLOT_WINDOWS_ARCH})
  # The archive of the installed tree a Windows user expects.
  set(QUELLOT_PACKAGE_GENERATORS ZIP)
else()
  set(QUELLOT_OUTPUT_NAME quellot)
  set(QUELLOT_EXACT_OUTPUT_NAME quellot_exact)
  set(QUELLOT_RUNTIME_FILE_NAME "$<TARGET_SONAME_FILE_NAME:quellot>")
  set(QUELLOT_EXACT_RUNTIME_FILE_NAME "$<TARGET_SONAME_FILE_NAME:quellot_exact>")
  set(QUELLOT_INSTALL_RUNTIME_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  set(QUELLOT_WIDE_MAIN)
  set(QUELLOT_PEAK_MEMORY ON)
  set(QUELLOT_TEST_PROPERTIES TIMEOUT 120)
  set(QUELLOT_PLATFORM_TEST_ARGS)
  set(QUELLOT_BINARY_SUITE LinuxLibrary)
  # Debian's architecture names, from the triple where the processor alone
  # does not tell them: 32-bit x86 is i386, 32-bit ARM is armhf (hard-float,
  # ...eabihf) or armel (soft-float, ...eabi), little-endian 64-bit POWER is
  # ppc64el and its big-endian twin ppc64.
  set(QUELLOT_TARGET linux-${CMAKE_SYSTEM_PROCESSOR})
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
    set(QUELLOT_TARGET linux-i386)
  elseif(QUELLOT_TARGET_TRIPLE MATCHES "^arm.*-gnueabihf$")
    set(QUELLOT_TARGET linux-armhf)
  elseif(QUELLOT_TARGET_TRIPLE MATCHES "^arm.*-gnueabi$")
    set(QUELLOT_TARGET linux-armel)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "powerpc64le")
    set(QUELLOT_TARGET linux-ppc64el)
  elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "powerpc64")
    set(QUELLOT_TARGET linux-ppc64)
  endif()

  if(QUELLOT_TARGET STREQUAL "linux-armel")
    # Soft-float: the float probes widen their value with libgcc's
    # __aeabi_f2d, and the libraries would need libgcc_s.so.1 for it; linked
    # in, they need the C library alone, as on every other target.
    set(QUELLOT_STATIC_LIBGCC ON)
  endif()

  # A tarball for every Linux target, and a Debian package for this
  # machine's own (dpkg-shlibdeps reads only binaries it can run).
  set(QUELLOT_PACKAGE_GENERATORS TGZ)
  if(NOT CMAKE_CROSSCOMPILING)
    list(APPEND QUELLOT_PACKAGE_GENERATORS DEB)
  endif()

  if(CMAKE_CROSSCOMPILING)
    # qemu-user runs the target's programs, through a wrapper that gives it
    # the target's sysroot (see qemu-run.in).
    set(QUELLOT_SYSROOT /usr/${QUELLOT_TARGET_TRIPLE})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/qemu-run.in ${CMAKE_BINARY_DIR}/qemu-run
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE
                   @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/qemu-run)
    set(QUELLOT_PLATFORM_TEST_ARGS --emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
    set(QUELLOT_CONSUMER_TEST_ARGS --configure-arg=-DQUELLOT_QEMU=${QUELLOT_QEMU})
  endif()
endif()

if(CMAKE_CROSSCOMPILING)
  # A project that consumes the installed tree is configured for the same target.
  list(APPEND QUELLOT_CONSUMER_TEST_ARGS --configure-arg=-DQUELLOT_TARGET_TRIPLE=${QUELLOT_TARGET_TRIPLE})
  # Debian ships GoogleTest for the host only; build it from its sources.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

# quellot_library_settings(target output-name [PROBES]): how a library of the
# project is built and linked. PROBES marks a probe library, whose export list
# is fixed; any other library gets no export list.
function(quellot_library_settings target output_name)
  cmake_parse_arguments(PARSE_ARGV 2 arg "PROBES" "" "")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name})
  # The libraries are C written in C++: without exception tables they need
  # no C++ runtime support (on 32-bit ARM those tables would make the
  # library need libgcc_s for its unwinding personality routines).
  target_compile_options(${target} PRIVATE -fno-exceptions)
  if(WIN32)
    # libgcc is linked in, so a DLL imports only KERNEL32.dll and msvcrt.dll,
    # and the C headers' printf is msvcrt.dll's own.
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
    target_link_options(${target} PRIVATE -static-libgcc)
    if(arg_PROBES)
      # The .def file fixes the module name, the four exports and their
      # ordinals; nothing else is exported.
      set(module ${output_name}.dll)
      set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
      configure_file(${PROJECT_SOURCE_DIR}/src/probes.def.in ${def} @ONLY)
      target_sources(${target} PRIVATE ${def})
      install(FILES ${def} DESTINATION ${CMAKE_INSTALL_LIBDIR})
    endif()
  else()
    set_target_properties(${target} PROPERTIES
      C_VISIBILITY_PRESET hidden
      CXX_VISIBILITY_PRESET hidden)
    target_link_options(${target} PRIVATE -Wl,--no-undefined -Wl,--as-needed)
    if(QUELLOT_STATIC_LIBGCC)
      target_link_options(${target} PRIVATE -static-libgcc)
    endif()
    if(arg_PROBES)
      set_target_properties(${target} PROPERTIES
        VERSION ${PROJECT_VERSION}
        SOVERSION ${PROJECT_VERSION_MAJOR}
        LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/quellot.map)
      target_link_options(${target} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/src/quellot.map)
    endif()
  endif()
endfunction()
